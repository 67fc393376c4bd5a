#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QWidget>

#include <functional>

// Rendering widgets offscreen and reading the pixels back.
namespace Rendering {

// The widget (shown, laid out) and its children, on its own background.
QImage grab(QWidget* widget);
// The widget alone on a transparent image, without its window background.
QImage renderTransparent(QWidget* widget);
// Pixels of `image` inside `area` for which `test` holds.
int countPixels(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& test);
// Within `tolerance` on each of red, green and blue; alpha must be full.
bool near(QRgb pixel, const QColor& color, int tolerance = 2);
// A window with a plain white ground holding `child`; the caller owns the window.
QWidget* whiteWindow();

} // namespace Rendering
