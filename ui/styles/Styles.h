#pragma once

#include <QColor>
#include <QMargins>

// The design constants the pages share. Lengths are device-independent pixels.
namespace Styles {

// sRGB red 8, green 140, blue 188.
QColor accentColor();

// The busy overlay's ground (the platform's gray) and the opacity of the whole overlay.
QColor busyOverlayColor();
inline constexpr qreal busyOverlayOpacity = 0.5;

// The platform's red, for error messages on the pages.
QColor errorTextColor();

// Both button styles: the label padded 4 above and below and 25 left and right, a black
// border 2 wide inside the button's rectangle, square corners.
inline constexpr QMargins buttonPadding{25, 4, 25, 4};
inline constexpr int buttonBorderWidth = 2;
inline constexpr int buttonCornerRadius = 0;
QColor buttonBorderColor();

} // namespace Styles
