#pragma once

#include <QTimer>
#include <QWidget>

// An indeterminate spinning progress indicator, drawn in the foreground colour at the
// platform's natural size (32 x 32). It turns from creation until it is destroyed.
class ActivityIndicator : public QWidget
{
    Q_OBJECT

public:
    static constexpr int naturalSize = 32;
    static constexpr int spokeCount = 12;

    explicit ActivityIndicator(QWidget* parent = nullptr);

    bool isAnimating() const;
    // The spoke drawn brightest; advances by one every frame.
    int phase() const;

    QSize sizeHint() const override;

signals:
    void phaseChanged(int phase);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void advance();

    QTimer m_timer;
    int m_phase = 0;
};
