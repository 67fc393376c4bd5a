#include "ui/pages/TimeRestrictionProgressBarView.h"

#include "platform/DateFormatter.h"
#include "ui/pages/TimeRestrictionBar.h"
#include "ui/pages/TimeTickView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

std::function<QDateTime()>& configuredClock()
{
    static std::function<QDateTime()> clock;
    return clock;
}

std::chrono::milliseconds& configuredTimerInterval()
{
    static std::chrono::milliseconds interval = TimeRestrictionProgressBarView::defaultTimerInterval;
    return interval;
}

QString capitalised(const QString& text)
{
    return text.isEmpty() ? text : text.left(1).toUpper() + text.mid(1);
}

// The local date and time of `time` on `date`; a time the clocks skip that day becomes the
// first one after the gap, a time they repeat the first of the two.
QDateTime resolvedLocalTime(const QDate& date, QTime time)
{
    QDateTime resolved(date, time);
    for (int step = 0; !resolved.isValid() && step < 24 * 60; ++step) {
        time = time.addSecs(60);
        if (time == QTime(0, 0))
            return QDateTime(date.addDays(1), time);
        resolved = QDateTime(date, time);
    }
    return resolved;
}

} // namespace

TimeRestrictionProgressBarView::TimeRestrictionProgressBarView(Day day, const TimeRestrictionMap& timeRestrictions,
                                                               QWidget* parent)
    : QWidget(parent), m_dayCase(day), m_day(capitalised(rawValue(day))), m_currentDateTime(now()),
      m_timer(new QTimer(this)), m_dayLabel(new QLabel(m_day)), m_bar(new TimeRestrictionBar),
      m_scale(new TimeScaleView), m_caption(new QLabel)
{
    setObjectName(rawValue(day));
    setAccessibleName(m_day);
    setMinimumHeight(rowHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    m_timer->setObjectName(QStringLiteral("timer"));
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(configuredTimerInterval());
    connect(m_timer, &QTimer::timeout, this, &TimeRestrictionProgressBarView::tick);

    m_dayLabel->setObjectName(QStringLiteral("dayLabel"));
    m_dayLabel->setFixedWidth(dayWidth);
    m_dayLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    auto* middle = new QWidget;
    middle->setObjectName(QStringLiteral("barColumn"));
    auto* stack = new QVBoxLayout(middle);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addSpacing(barTopPadding);
    auto* barRow = new QHBoxLayout;
    barRow->setContentsMargins(TimeScaleView::overhang, 0, TimeScaleView::overhang, 0);
    barRow->addWidget(m_bar);
    stack->addLayout(barRow);
    stack->addWidget(m_scale);

    m_caption->setObjectName(QStringLiteral("caption"));
    m_caption->setTextFormat(Qt::PlainText);
    m_caption->setFixedWidth(captionPadding + captionWidth);
    m_caption->setContentsMargins(captionPadding, 0, 0, 0);
    m_caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_dayLabel, 0, Qt::AlignVCenter);
    row->addWidget(middle, 1, Qt::AlignVCenter);
    row->addWidget(m_caption, 0, Qt::AlignVCenter);

    setTimeRestrictions(timeRestrictions);
}

QString TimeRestrictionProgressBarView::timeString(qint64 minutes)
{
    // The conversion of the server's texts has no range check ("25.00" is 1500).
    const qint64 minute = std::clamp<qint64>(minutes, 0, 1439);
    const QTime time(int(minute / 60), int(minute % 60));
    return DateFormatter::shortTimeStyle(resolvedLocalTime(now().date(), time));
}

QString TimeRestrictionProgressBarView::scheduleCaption(bool enabled, const QList<Interval>& intervals)
{
    if (!enabled)
        return QStringLiteral("Internet allowed all day");
    if (intervals.size() == 1) {
        const Interval& only = intervals.first();
        if (only.from == 0 && only.to == 1440)
            return QStringLiteral("Internet allowed all day");
        if (only.from == only.to)
            return QStringLiteral("Internet restricted all day");
    }
    QString caption = QStringLiteral("Internet allowed\n");
    for (const Interval& interval : intervals)
        caption += timeString(interval.from) + QStringLiteral(" - ") + timeString(interval.to) + QLatin1Char('\n');
    return caption;
}

void TimeRestrictionProgressBarView::setClock(std::function<QDateTime()> clock)
{
    configuredClock() = std::move(clock);
}

QDateTime TimeRestrictionProgressBarView::now()
{
    if (const auto& clock = configuredClock())
        return clock();
    return QDateTime::currentDateTime();
}

void TimeRestrictionProgressBarView::setTimerInterval(std::chrono::milliseconds interval)
{
    configuredTimerInterval() = interval;
}

void TimeRestrictionProgressBarView::setTimeRestrictions(const TimeRestrictionMap& timeRestrictions)
{
    const auto entry = timeRestrictions.constFind(rawValue(m_dayCase));
    const bool found = entry != timeRestrictions.cend();
    m_enabled = found && entry->RestrictionsEnabled;
    // A day the server says nothing about has no restriction.
    m_intervals = found ? entry->intervals : QList<Interval>{Interval{0, 1440}};
    m_currentDateTime = now();
    refresh();
}

qint64 TimeRestrictionProgressBarView::minutesSinceStartOfDay() const
{
    // By the clock on the wall, like the periods: on the day the clocks change, noon still
    // stands at the middle of the bar.
    return m_currentDateTime.time().msecsSinceStartOfDay() / 60'000;
}

QString TimeRestrictionProgressBarView::scheduleCaption() const
{
    return scheduleCaption(m_enabled, m_intervals);
}

void TimeRestrictionProgressBarView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_currentDateTime = now();
    updateMarker();
    m_timer->start();
}

void TimeRestrictionProgressBarView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_timer->stop();
}

void TimeRestrictionProgressBarView::tick()
{
    m_currentDateTime = now();
    updateMarker();
}

void TimeRestrictionProgressBarView::refresh()
{
    QStringList tooltips;
    for (const Interval& interval : std::as_const(m_intervals))
        tooltips.append(timeString(interval.from) + QStringLiteral(" - ") + timeString(interval.to));
    m_bar->setIntervals(m_intervals, tooltips);

    const QString caption = scheduleCaption();
    // The caption's closing line break would only add an empty line below the periods.
    m_caption->setText(caption.endsWith(QLatin1Char('\n')) ? caption.chopped(1) : caption);
    m_caption->setToolTip(caption);
    m_caption->setAccessibleName(caption);
    updateMarker();
}

void TimeRestrictionProgressBarView::updateMarker()
{
    // Today's row follows the date, so after midnight the marker moves on to the new day.
    m_arrowsVisible = m_currentDateTime.date().dayOfWeek() == int(m_dayCase) + 1;
    if (m_arrowsVisible)
        m_bar->setMarker(minutesSinceStartOfDay(), DateFormatter::shortTimeStyle(m_currentDateTime));
    else
        m_bar->setMarker(std::nullopt);
}
