#pragma once

#include "core/Interval.h"

#include <QColor>
#include <QList>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <optional>

// The bar of one day: a gray track over the whole day, an accent segment for each allowed
// period, and, on today's row, the current-time marker of two gray triangles whose apexes
// meet just above the bar's centre line. Clipped to a rounded rectangle. Hovering a
// segment or the marker shows its time as a tooltip. The painted content is also given to
// accessibility tools as the bar's description.
class TimeRestrictionBar : public QWidget
{
    Q_OBJECT

public:
    static constexpr int barHeight = 20;
    static constexpr qreal trackHeight = 6;
    static constexpr qreal segmentHeight = 8;
    static constexpr qreal cornerRadius = 4;
    static constexpr qreal trackOpacity = 0.3;

    // sRGB 8, 140, 188: the allowed periods.
    static QColor accentColor();
    // The platform's standard gray: track and marker.
    static QColor gray();

    explicit TimeRestrictionBar(QWidget* parent = nullptr);

    // The periods, each with its tooltip text.
    void setIntervals(const QList<Interval>& intervals, const QStringList& tooltips);
    // The marker at this minute of the day with its tooltip; nothing hides it.
    void setMarker(std::optional<qint64> minute, const QString& tooltip = {});

    QList<Interval> intervals() const { return m_intervals; }
    bool isMarkerShown() const { return m_markerMinute.has_value(); }

    // Geometry in the bar's coordinates, for its width now.
    QRectF trackRect() const;
    // Nothing for a period whose end lies before its start.
    std::optional<QRectF> segmentRect(int index) const;
    qreal markerX() const;
    QRectF upperTriangleFrame() const;
    QRectF lowerTriangleFrame() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    qreal xFor(qreal minute) const;
    // The tooltip for a point: the marker first, then the segments on top.
    QString tooltipAt(const QPointF& point) const;
    void updateDescription();

    QList<Interval> m_intervals;
    QStringList m_tooltips;
    std::optional<qint64> m_markerMinute;
    QString m_markerTooltip;
};
