#pragma once

#include "core/Day.h"
#include "core/Interval.h"
#include "core/TimeRestrictionModel.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QWidget>

#include <chrono>
#include <functional>

class QLabel;
class QTimer;
class TimeRestrictionBar;
class TimeScaleView;

// One day's row of the time restrictions page: the day's name, the bar of its allowed
// periods with the scale below, and a caption listing those periods. The row of today
// carries the current-time marker, which a 10-second timer moves while the row is on
// screen. Main thread only.
class TimeRestrictionProgressBarView : public QWidget
{
    Q_OBJECT

public:
    static constexpr qreal ARROW_WIDTH = 10;
    static constexpr qreal ARROW_HEIGHT = 10;
    static constexpr qreal minutesInDay = 1440;
    static constexpr int rowHeight = 55;
    static constexpr int dayWidth = 120;
    static constexpr int captionWidth = 240;
    static constexpr int captionPadding = 15;
    static constexpr int barTopPadding = 12;
    static constexpr std::chrono::milliseconds defaultTimerInterval{10'000};

    TimeRestrictionProgressBarView(Day day, const TimeRestrictionMap& timeRestrictions, QWidget* parent = nullptr);

    // A minute of the day as the user's short time, on today's date: 1440 reads as 23:59,
    // anything outside the day is clamped into it, a time that a daylight-saving change
    // skips today becomes the first time after the gap.
    static QString timeString(qint64 minutes);
    static QString scheduleCaption(bool enabled, const QList<Interval>& intervals);

    // Where "now" comes from, for every row (tests set a fixed clock); an empty function
    // restores the system clock.
    static void setClock(std::function<QDateTime()> clock);
    static QDateTime now();
    // The timer interval of rows made from now on (tests shorten it).
    static void setTimerInterval(std::chrono::milliseconds interval);

    // Takes the day's entry from fresh session state.
    void setTimeRestrictions(const TimeRestrictionMap& timeRestrictions);

    Day dayCase() const { return m_dayCase; }
    QString day() const { return m_day; }
    bool enabled() const { return m_enabled; }
    bool arrowsVisible() const { return m_arrowsVisible; }
    QList<Interval> intervals() const { return m_intervals; }
    QDateTime currentDateTime() const { return m_currentDateTime; }
    QTimer* timer() const { return m_timer; }
    qint64 minutesSinceStartOfDay() const;
    QString scheduleCaption() const;

    TimeRestrictionBar* bar() const { return m_bar; }
    TimeScaleView* scale() const { return m_scale; }
    QLabel* captionLabel() const { return m_caption; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void tick();
    void refresh();
    void updateMarker();

    const Day m_dayCase;
    const QString m_day;
    bool m_enabled = false;
    bool m_arrowsVisible = false;
    QList<Interval> m_intervals;
    QDateTime m_currentDateTime;
    QTimer* m_timer;

    QLabel* m_dayLabel;
    TimeRestrictionBar* m_bar;
    TimeScaleView* m_scale;
    QLabel* m_caption;
};
