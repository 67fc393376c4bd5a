#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

// A desktop of the test's own: a virtual X display (Xvfb on a free display number), a
// private session bus (dbus-daemon --session), and on demand a window manager (openbox)
// and an XEmbed tray (trayer). Nothing of the user's session is touched: programs started
// for the test get environment() (DISPLAY, DBUS_SESSION_BUS_ADDRESS, QT_QPA_PLATFORM=xcb).
// Everything is stopped with SIGTERM, newest first, when the session goes; a program that
// must be killed instead fails the test.
class DesktopSession
{
public:
    // The first of the programs that is not installed, if any (for GTEST_SKIP).
    static std::optional<QString> missingProgram(const QStringList& programs);

    DesktopSession();
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // Xvfb and the session bus; false (with the reason in error()) when either fails.
    bool start(const QSize& screen = QSize(1600, 1200));
    bool startWindowManager();
    bool startTray();
    bool stopTray();

    QString display() const { return m_display; }
    QString busAddress() const { return m_busAddress; }
    QString error() const { return m_error; }
    QProcessEnvironment environment() const;

    // Runs an X client (xdotool, xwininfo, import) on this display; its standard output,
    // or nothing when it fails.
    std::optional<QString> run(const QString& program, const QStringList& arguments, int timeoutMs = 15000) const;
    // Whether someone owns the X selection (_NET_SYSTEM_TRAY_S0, _NET_WM_CM_S0...).
    bool selectionOwned(const QString& selection) const;
    // Every window of the class with its frame and map state, for failure messages.
    QString describeWindows(const QString& windowClass) const;
    // The windows of a program by their class (WM_CLASS, xdotool search --class), mapped
    // or not, wherever they are in the window tree (a tray icon lives inside the tray).
    QStringList windowsOfClass(const QString& windowClass) const;
    // A window's frame on the screen and whether it is mapped and viewable.
    struct WindowState
    {
        QRect geometry;
        bool viewable = false;
    };
    std::optional<WindowState> windowState(const QString& windowId) const;
    // Saves the whole screen as PNG.
    bool screenshot(const QString& path) const;

private:
    struct Child
    {
        QString name;
        std::unique_ptr<QProcess> process;
    };
    bool canConnect() const;
    QProcess* launch(const QString& name, const QString& program, const QStringList& arguments);
    void stop(Child& child);

    std::vector<Child> m_children;
    QString m_display;
    QString m_busAddress;
    QString m_error;
};
