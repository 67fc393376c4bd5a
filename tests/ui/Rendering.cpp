#include "Rendering.h"

#include <QApplication>
#include <QPalette>
#include <QTest>

#include <cstdlib>

namespace Rendering {

QImage grab(QWidget* widget)
{
    widget->show();
    QApplication::processEvents();
    return widget->grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage renderTransparent(QWidget* widget)
{
    widget->show();
    QApplication::processEvents();
    QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image.convertToFormat(QImage::Format_ARGB32);
}

int countPixels(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& test)
{
    int count = 0;
    const QRect bounded = area.intersected(image.rect());
    for (int y = bounded.top(); y <= bounded.bottom(); ++y)
        for (int x = bounded.left(); x <= bounded.right(); ++x)
            count += test(image.pixel(x, y)) ? 1 : 0;
    return count;
}

bool near(QRgb pixel, const QColor& color, int tolerance)
{
    return qAlpha(pixel) == 255 && std::abs(qRed(pixel) - color.red()) <= tolerance &&
           std::abs(qGreen(pixel) - color.green()) <= tolerance && std::abs(qBlue(pixel) - color.blue()) <= tolerance;
}

QWidget* whiteWindow()
{
    auto* window = new QWidget;
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, Qt::white);
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    return window;
}

} // namespace Rendering
