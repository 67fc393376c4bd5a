#include "ui/components/Triangle.h"

namespace Triangle {

QPainterPath path(const QRectF& frame)
{
    QPainterPath outline;
    outline.moveTo(frame.center().x(), frame.top());
    outline.lineTo(frame.bottomRight());
    outline.lineTo(frame.bottomLeft());
    outline.closeSubpath();
    return outline;
}

QPainterPath upsideDown(const QRectF& frame)
{
    QPainterPath outline;
    outline.moveTo(frame.center().x(), frame.bottom());
    outline.lineTo(frame.topLeft());
    outline.lineTo(frame.topRight());
    outline.closeSubpath();
    return outline;
}

} // namespace Triangle
