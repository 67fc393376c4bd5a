#include "ui/Fonts.h"

#include "core/Log.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>

QString Fonts::textFamily()
{
    return QStringLiteral("DejaVu Sans");
}

QString Fonts::fallbackDirectory()
{
    return QStringLiteral("/usr/share/fonts/truetype/dejavu");
}

void Fonts::install()
{
    if (!QFontDatabase::hasFamily(textFamily())) {
        const QDir directory(fallbackDirectory());
        int added = 0;
        for (const QString& file : directory.entryList({QStringLiteral("DejaVuSans*.ttf")}, QDir::Files)) {
            if (QFontDatabase::addApplicationFont(directory.filePath(file)) >= 0)
                ++added;
        }
        if (added == 0)
            log(QStringLiteral("Fonts: %1 not found; text uses the toolkit's default font").arg(textFamily()));
    }
    QApplication::setFont(system(systemSize));
}

QFont Fonts::system(int size, QFont::Weight weight)
{
    QFont font(textFamily());
    font.setPixelSize(size);
    font.setWeight(weight);
    return font;
}
