#pragma once

#include <QFont>
#include <QString>

#include <optional>

// Font Awesome 5 Free, solid style, compiled into the program. The font is added to the
// application's fonts on first use.
class IconFont
{
public:
    static QString family();    // "Font Awesome 5 Free"
    static QString styleName(); // "Solid"

    // Registers the compiled-in font files; safe to call any number of times.
    static void registerResources();
    // Adds the font once; false (logged once) when it could not be added. Thread-safe;
    // needs the QGuiApplication to exist and retries later when it does not yet.
    static bool load();
    // The solid face at `size` pixels.
    static QFont font(qreal size);
    // The text that draws `iconName` in the solid face. None for a name the list does not
    // have in the solid style; each such name is logged once.
    static std::optional<QString> glyph(const QString& iconName);
};
