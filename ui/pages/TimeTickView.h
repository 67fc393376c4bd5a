#pragma once

#include <QString>
#include <QWidget>

// One labelled tick of the time scale: a gray mark 1 wide and tickHeight high above its
// text, both centred.
class TimeTickView : public QWidget
{
    Q_OBJECT

public:
    static constexpr double defaultTickHeight = 7;
    static constexpr int textSize = 12;

    TimeTickView(double tickHeight, const QString& text, QWidget* parent = nullptr);

    double tickHeight() const { return m_tickHeight; }
    QString text() const { return m_text; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_tickHeight;
    QString m_text;
};

// The scale under a day's bar, all in gray: "00:00" at the bar's start, "12:00" in its
// middle and "24:00" at its end, and short marks at the quarters between them. The end
// labels reach past the bar, so the scale is wider than the bar by `overhang` each side.
class TimeScaleView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int overhang = 20;
    // The end labels move this far out from under the bar's ends.
    static constexpr int endLabelOffset = 16;
    static constexpr int markHeight = 5;

    explicit TimeScaleView(QWidget* parent = nullptr);

    QList<TimeTickView*> ticks() const { return m_ticks; }
    // The bar's span in the scale's coordinates.
    int barLeft() const { return overhang; }
    int barWidth() const { return qMax(0, width() - 2 * overhang); }
    // The x of the two short marks.
    QList<int> markPositions() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QList<TimeTickView*> m_ticks;
};
