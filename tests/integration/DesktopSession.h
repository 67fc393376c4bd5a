#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <chrono>

// A desktop of its own for one test: a virtual X display and a private session bus, on
// which the accessibility bus starts on demand. Programs started with environment() draw
// real windows there and show their widgets to accessibility clients (AT-SPI), which
// AccessibleDriver uses to find and press them as a person would.
class DesktopSession
{
public:
    DesktopSession();
    ~DesktopSession(); // ends the bus, then the display
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    bool isRunning() const;
    // DISPLAY, DBUS_SESSION_BUS_ADDRESS, the X platform and accessibility always on.
    QProcessEnvironment environment() const;

private:
    QProcess m_display;
    QProcess m_bus;
    QString m_displayName;
    QString m_busAddress;
};

// Widgets of a running program, by their accessible role and name.
namespace AccessibleDriver {
// Until a showing widget of the program matches (the whole name, or a part of it).
bool waitFor(const DesktopSession& desktop, qint64 pid, const QString& role, const QString& name,
             std::chrono::seconds timeout = std::chrono::seconds(60));
bool waitForNameContaining(const DesktopSession& desktop, qint64 pid, const QString& role, const QString& text,
                           std::chrono::seconds timeout = std::chrono::seconds(60));
// Presses the button with that name once it shows.
bool press(const DesktopSession& desktop, qint64 pid, const QString& name,
           std::chrono::seconds timeout = std::chrono::seconds(60));
// The program's widgets as accessibility clients see them, one per line (for failure messages).
QString dump(const DesktopSession& desktop, qint64 pid);
// What the last call printed on its error output.
QString lastError();
} // namespace AccessibleDriver
