#pragma once

#include <QFont>
#include <QString>

// The text font. DejaVu Sans (Debian's fonts-dejavu-core) stands in for the system font
// everywhere, so that layouts and screenshots come out the same on every machine and
// offscreen rendering has text even where no font configuration is found.
class Fonts
{
public:
    // The size of the platform's default text, in device-independent pixels.
    static constexpr int systemSize = 13;
    static QString textFamily();
    // Folder searched for the DejaVu files when the font database does not know the family.
    static QString fallbackDirectory();

    // Makes the text font the application's default at systemSize. Call once after the
    // QApplication exists, before building windows. Main thread only.
    static void install();
    // The system font at `size` pixels, as pages use for titles and labels.
    static QFont system(int size, QFont::Weight weight = QFont::Normal);
};
