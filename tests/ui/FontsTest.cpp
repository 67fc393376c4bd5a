#include "Rendering.h"

#include "ui/Fonts.h"

#include <QApplication>
#include <QFontInfo>
#include <QLabel>

#include <gtest/gtest.h>

TEST(Fonts, TextIsDejaVuAtTheSystemSizeAndRendersOffscreen)
{
    Fonts::install();
    const QFontInfo info(QApplication::font());
    EXPECT_EQ(info.family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(info.pixelSize(), Fonts::systemSize);
    EXPECT_EQ(QFontInfo(Fonts::system(20)).pixelSize(), 20);

    QLabel label(QStringLiteral("Block History"));
    QPalette palette = label.palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    label.setPalette(palette);
    label.setAutoFillBackground(true);
    const QImage image = Rendering::grab(&label);
    EXPECT_GT(Rendering::countPixels(image, image.rect(), [](QRgb p) { return qGray(p) < 100; }), 40);
}
