#include "DesktopFixture.h"

#include "core/SessionData.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"

#include <QTest>

#include <csignal>

namespace {
constexpr int mainWindowMinimumWidth = 900;
constexpr int trayIconMaximumWidth = 64;
} // namespace

void DesktopFixture::SetUp()
{
    if (!needs({QStringLiteral("Xvfb"), QStringLiteral("dbus-daemon"), QStringLiteral("xdotool"), QStringLiteral("xwininfo"),
                QStringLiteral("xprop")}))
        return;
    ASSERT_TRUE(session.start()) << session.error().toStdString();
}

void DesktopFixture::TearDown()
{
    // A signed-in start activates the extension, which outlives the program as a system
    // extension does: it is asked to stop, and must.
    if (const auto pid = StartedExtension::processId(); pid && StartedExtension::isRunning(*pid)) {
        StartedExtension::kill(SIGTERM);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !StartedExtension::isRunning(*pid); }, 10000));
    }
}

bool DesktopFixture::needs(const QStringList& programs)
{
    if (const auto missing = DesktopSession::missingProgram(programs)) {
        [&] { GTEST_SKIP() << "needs " << missing->toStdString() << ", which is not installed"; }();
        return false;
    }
    return true;
}

void DesktopFixture::storeToken(const QString& token)
{
    UserDefaults(Paths::configDirectory() + QStringLiteral("/user-defaults.json")).setString(SessionData::authTokenKey, token);
}

std::unique_ptr<RunningApp> DesktopFixture::startApp(const QProcessEnvironment& extra)
{
    QProcessEnvironment environment = session.environment();
    environment.insert(extra);
    return std::make_unique<RunningApp>(environment);
}

int DesktopFixture::countLog(const QString& text)
{
    return RunningApp::countLogEntries(QStringLiteral("logfile"), text) + RunningApp::countLogEntries(QStringLiteral("gui"), text);
}

bool DesktopFixture::waitForLog(const QString& text, int count, int milliseconds)
{
    return QTest::qWaitFor([&] { return countLog(text) >= count; }, milliseconds);
}

std::optional<QString> DesktopFixture::mainWindow() const
{
    for (const QString& id : session.windowsOfClass(QStringLiteral("Norvane")))
        if (const auto state = session.windowState(id); state && state->geometry.width() >= mainWindowMinimumWidth)
            return id;
    return std::nullopt;
}

std::optional<QString> DesktopFixture::trayIconWindow() const
{
    // Qt makes a new icon window whenever a tray (re)appears: the one on screen counts.
    for (const QString& id : session.windowsOfClass(QStringLiteral("Norvane")))
        if (const auto state = session.windowState(id);
            state && state->viewable && state->geometry.width() <= trayIconMaximumWidth)
            return id;
    return std::nullopt;
}

bool DesktopFixture::waitForViewable(const QString& windowId, bool viewable, int milliseconds) const
{
    return QTest::qWaitFor(
        [&] {
            const auto state = session.windowState(windowId);
            return state && state->viewable == viewable;
        },
        milliseconds);
}

bool DesktopFixture::closeWithItsCloseButton(const QString& windowId) const
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        const auto state = session.windowState(windowId);
        if (!state)
            return false;
        if (!state->viewable)
            return true;
        // The close button sits at the left end of the title bar.
        const QPoint button = state->geometry.topLeft() + QPoint(14, 15);
        if (!session.run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(button.x()),
                                                     QString::number(button.y()), QStringLiteral("click"), QStringLiteral("1")}))
            return false;
        if (waitForViewable(windowId, false, 8000))
            return true;
    }
    return false;
}

std::optional<QString> DesktopFixture::waitForShownMainWindow(int milliseconds) const
{
    std::optional<QString> window;
    (void)QTest::qWaitFor([&] { return (window = mainWindow()).has_value() && session.windowState(*window)->viewable; },
                          milliseconds);
    return window && session.windowState(*window).value_or(DesktopSession::WindowState{}).viewable ? window : std::nullopt;
}

bool DesktopFixture::mainWindowShown() const
{
    const auto window = mainWindow();
    return window && session.windowState(*window).value_or(DesktopSession::WindowState{}).viewable;
}

QString DesktopFixture::screenshotPath(const QString& name)
{
    return QStringLiteral(NORVANE_BINARY_DIR "/screenshots/") + name + QStringLiteral(".png");
}
