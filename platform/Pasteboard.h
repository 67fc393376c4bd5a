#pragma once

#include <QString>

// The general pasteboard (the desktop clipboard).
namespace Pasteboard {
// Replaces whatever the clipboard holds with the text. Needs a QGuiApplication.
void setString(const QString& text);
QString string();
} // namespace Pasteboard
