#pragma once

#include <QPainterPath>
#include <QRectF>

// A triangle filling a frame, apex up: from the middle of the top edge to the bottom-right
// corner, to the bottom-left corner and back. Turned upside down it points down.
namespace Triangle {

QPainterPath path(const QRectF& frame);
QPainterPath upsideDown(const QRectF& frame);

} // namespace Triangle
