#pragma once

#include "DesktopSession.h"

#include <QString>

#include <chrono>

// Widgets of a running program on a test desktop, by their accessible role and name, found
// and pressed through the accessibility bus (AT-SPI) as a person with a screen reader would.
namespace AccessibleDriver {
// The desktop's environment with the program's widgets shown to accessibility clients.
QProcessEnvironment environment(const DesktopSession& desktop);
// Until a showing widget of the program matches (the whole name, or a part of it).
bool waitFor(const DesktopSession& desktop, qint64 pid, const QString& role, const QString& name,
             std::chrono::seconds timeout = std::chrono::seconds(60));
bool waitForNameContaining(const DesktopSession& desktop, qint64 pid, const QString& role, const QString& text,
                           std::chrono::seconds timeout = std::chrono::seconds(60));
// Presses the button with that name once it shows.
bool press(const DesktopSession& desktop, qint64 pid, const QString& name,
           std::chrono::seconds timeout = std::chrono::seconds(60));
// Picks the sidebar entry with that name once it shows.
bool selectSidebarEntry(const DesktopSession& desktop, qint64 pid, const QString& name,
                        std::chrono::seconds timeout = std::chrono::seconds(60));
// The program's widgets as accessibility clients see them, one per line (for failure messages).
QString dump(const DesktopSession& desktop, qint64 pid);
// What the last call printed on its error output.
QString lastError();
} // namespace AccessibleDriver
