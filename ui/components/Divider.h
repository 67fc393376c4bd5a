#pragma once

#include <QColor>
#include <QWidget>

// A one-pixel separator line: vertical between the items of a row, horizontal between
// the items of a column. It spans whatever length the layout gives it.
class Divider : public QWidget
{
    Q_OBJECT

public:
    explicit Divider(Qt::Orientation orientation, QWidget* parent = nullptr);

    // The platform's separator: black at 10 % opacity, so it reads on any ground.
    static QColor color();

    Qt::Orientation orientation() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::Orientation m_orientation;
};
