#include "ui/styles/Styles.h"

namespace Styles {

QColor accentColor()
{
    return QColor::fromRgb(8, 140, 188);
}

QColor busyOverlayColor()
{
    return QColor::fromRgb(142, 142, 147);
}

QColor errorTextColor()
{
    return QColor::fromRgb(255, 59, 48);
}

QColor buttonBorderColor()
{
    return QColor(Qt::black);
}

} // namespace Styles
