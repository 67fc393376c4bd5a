#include "ui/pages/TimeRestrictionBar.h"

#include "ui/components/Triangle.h"
#include "ui/pages/TimeRestrictionProgressBarView.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace {

constexpr qreal ARROW_WIDTH = TimeRestrictionProgressBarView::ARROW_WIDTH;
constexpr qreal ARROW_HEIGHT = TimeRestrictionProgressBarView::ARROW_HEIGHT;
constexpr qreal minutesInDay = TimeRestrictionProgressBarView::minutesInDay;

} // namespace

TimeRestrictionBar::TimeRestrictionBar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("bar"));
    setFixedHeight(barHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(tr("Allowed hours"));
}

QColor TimeRestrictionBar::accentColor()
{
    return QColor::fromRgb(8, 140, 188);
}

QColor TimeRestrictionBar::gray()
{
    return QColor::fromRgb(142, 142, 147);
}

void TimeRestrictionBar::setIntervals(const QList<Interval>& intervals, const QStringList& tooltips)
{
    m_intervals = intervals;
    m_tooltips = tooltips;
    updateDescription();
    update();
}

void TimeRestrictionBar::setMarker(std::optional<qint64> minute, const QString& tooltip)
{
    m_markerMinute = minute;
    m_markerTooltip = minute ? tooltip : QString();
    updateDescription();
    update();
}

QRectF TimeRestrictionBar::trackRect() const
{
    return QRectF(0, (height() - trackHeight) / 2, width(), trackHeight);
}

std::optional<QRectF> TimeRestrictionBar::segmentRect(int index) const
{
    if (index < 0 || index >= m_intervals.size())
        return std::nullopt;
    const Interval& interval = m_intervals.at(index);
    // A period that ends before it starts has no length to show.
    if (interval.to < interval.from)
        return std::nullopt;
    const qreal left = xFor(qreal(interval.from));
    return QRectF(left, (height() - segmentHeight) / 2, xFor(qreal(interval.to)) - left, segmentHeight);
}

qreal TimeRestrictionBar::markerX() const
{
    return m_markerMinute ? xFor(qreal(*m_markerMinute)) : 0;
}

QRectF TimeRestrictionBar::upperTriangleFrame() const
{
    const qreal centre = height() / 2.0;
    return QRectF(markerX() - ARROW_WIDTH / 2, centre - ARROW_HEIGHT / 2 - 1 - ARROW_HEIGHT / 2, ARROW_WIDTH,
                  ARROW_HEIGHT);
}

QRectF TimeRestrictionBar::lowerTriangleFrame() const
{
    const qreal centre = height() / 2.0;
    return QRectF(markerX() - ARROW_WIDTH / 2, centre - ARROW_WIDTH / 2 + ARROW_HEIGHT / 2 - 1, ARROW_WIDTH,
                  ARROW_WIDTH);
}

QSize TimeRestrictionBar::sizeHint() const
{
    return QSize(400, barHeight);
}

QSize TimeRestrictionBar::minimumSizeHint() const
{
    return QSize(int(ARROW_WIDTH * 2), barHeight);
}

void TimeRestrictionBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    painter.setClipPath(clip);

    QColor track = gray();
    track.setAlphaF(trackOpacity);
    painter.fillRect(trackRect(), track);
    for (int i = 0; i < m_intervals.size(); ++i)
        if (const std::optional<QRectF> segment = segmentRect(i))
            painter.fillRect(*segment, accentColor());
    if (m_markerMinute) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(gray());
        painter.drawPath(Triangle::upsideDown(upperTriangleFrame()));
        painter.drawPath(Triangle::path(lowerTriangleFrame()));
    }
}

bool TimeRestrictionBar::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = tooltipAt(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, this);
        }
        return true;
    }
    return QWidget::event(event);
}

qreal TimeRestrictionBar::xFor(qreal minute) const
{
    return minute / minutesInDay * width();
}

QString TimeRestrictionBar::tooltipAt(const QPointF& point) const
{
    if (m_markerMinute && upperTriangleFrame().contains(point))
        return m_markerTooltip;
    for (qsizetype i = m_intervals.size() - 1; i >= 0; --i) {
        const std::optional<QRectF> segment = segmentRect(int(i));
        if (segment && segment->width() > 0 && point.x() >= segment->left() && point.x() < segment->right())
            return m_tooltips.value(i);
    }
    return {};
}

void TimeRestrictionBar::updateDescription()
{
    QStringList parts = m_tooltips;
    if (m_markerMinute)
        parts.append(tr("now %1").arg(m_markerTooltip));
    setAccessibleDescription(parts.join(QStringLiteral(", ")));
}
