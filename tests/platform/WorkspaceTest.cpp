#include "platform/Deployment.h"
#include "platform/Power.h"
#include "platform/Workspace.h"

#include "FakeDBusServices.h"
#include "PlatformTestSupport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QSignalSpy>
#include <QWidget>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace PlatformTest;

namespace {

const QString bundleId = QStringLiteral("org.norvane.test.app");

// A round trip on the program's own connection: the bus has handled everything this
// connection sent before (match rules included).
void syncWithBus(QDBusConnection bus)
{
    bus.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
}

} // namespace

TEST(Workspace, SingleInstanceLockHeldByAnotherProcessIsRefused)
{
    int toParent[2];
    int toChild[2];
    ASSERT_EQ(pipe(toParent), 0);
    ASSERT_EQ(pipe(toChild), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(toParent[0]);
        close(toChild[1]);
        const char taken = Workspace::shared().isAlreadyRunning(bundleId) ? 'n' : 'y';
        if (write(toParent[1], &taken, 1) != 1)
            _exit(2);
        char ignored;
        // Holds the lock until the parent closes its end.
        while (read(toChild[0], &ignored, 1) > 0) {
        }
        _exit(0);
    }
    close(toParent[1]);
    close(toChild[0]);
    char taken = 0;
    ASSERT_EQ(read(toParent[0], &taken, 1), 1);
    EXPECT_EQ(taken, 'y');

    EXPECT_TRUE(Workspace::shared().isAlreadyRunning(bundleId));
    // Another bundle identifier is another application.
    EXPECT_FALSE(Workspace::shared().isAlreadyRunning(QStringLiteral("org.norvane.other")));

    close(toChild[1]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    close(toParent[0]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(Workspace, ALockLeftByADeadProcessIsTakenOver)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(Workspace::shared().isAlreadyRunning(bundleId) ? 1 : 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(QFile::exists(Deployment::runtimeDirectory() + QLatin1Char('/') + bundleId + QStringLiteral(".lock")));

    EXPECT_FALSE(Workspace::shared().isAlreadyRunning(bundleId));
    // This process holds it now, and keeps it.
    EXPECT_FALSE(Workspace::shared().isAlreadyRunning(bundleId));
}

TEST(Workspace, WakeFollowsLogindPrepareForSleep)
{
    PrivateBus systemBus(PrivateBus::Kind::system);
    if (!systemBus.isRunning())
        GTEST_SKIP() << "dbus-daemon is not installed";
    QDBusConnection logind = systemBus.connect(QStringLiteral("fake-logind"));
    ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));

    QSignalSpy woke(&Workspace::shared(), &Workspace::didWake);
    Workspace::shared().startWakeNotifications();
    syncWithBus(QDBusConnection::systemBus());
    const auto prepare = [&](bool sleeping) {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                         QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
        signal << sleeping;
        logind.send(signal);
    };
    prepare(true);
    prepare(false);
    ASSERT_TRUE(woke.wait(5000));
    prepare(true);
    prepare(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return woke.size() == 2; }, 5000));
    // The same signal from someone else is no wake.
    QDBusConnection stranger = systemBus.connect(QStringLiteral("stranger"));
    QDBusMessage forged = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                     QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
    forged << false;
    stranger.send(forged);
    // The bus has routed the forged signal before the next real ones are sent.
    syncWithBus(stranger);
    prepare(true);
    prepare(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return woke.size() >= 3; }, 5000));
    EXPECT_EQ(woke.size(), 3);
}

TEST(Workspace, NoSystemBusLogsOnceAndCarriesOn)
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + TestEnvironment::root() + "/no-bus-here").toUtf8());
    DiagnosticsCapture diagnostics;
    Workspace::shared().startWakeNotifications();
    Workspace::shared().startWakeNotifications();
    EXPECT_EQ(diagnostics.count(QStringLiteral("no system bus")), 1);

    bool requested = true;
    bool done = false;
    Power::restart([&](bool ok) {
        requested = ok;
        done = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 5000));
    EXPECT_FALSE(requested);
    EXPECT_EQ(diagnostics.count(QStringLiteral("Power: cannot restart")), 1);
}

TEST(Power, RestartAsksLogindToRebootInteractively)
{
    PrivateBus systemBus(PrivateBus::Kind::system);
    if (!systemBus.isRunning())
        GTEST_SKIP() << "dbus-daemon is not installed";
    QDBusConnection logindBus = systemBus.connect(QStringLiteral("fake-logind"));
    FakeLogin1 logind;
    ASSERT_TRUE(logindBus.registerObject(QStringLiteral("/org/freedesktop/login1"), &logind, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(logindBus.registerService(QStringLiteral("org.freedesktop.login1")));

    bool requested = false;
    Power::restart([&](bool ok) { requested = ok; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return requested; }, 5000));
    EXPECT_EQ(logind.rebootCalls, QList<bool>{true});
}

TEST(Power, ARefusedRebootIsLogged)
{
    PrivateBus systemBus(PrivateBus::Kind::system);
    if (!systemBus.isRunning())
        GTEST_SKIP() << "dbus-daemon is not installed";
    DiagnosticsCapture diagnostics;
    std::optional<bool> requested;
    Power::restart([&](bool ok) { requested = ok; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return requested.has_value(); }, 5000));
    EXPECT_FALSE(*requested);
    EXPECT_EQ(diagnostics.count(QStringLiteral("Power: cannot restart")), 1);
}

TEST(Workspace, RevealAsksTheFileManagerOrOpensTheFolder)
{
    PrivateBus sessionBus(PrivateBus::Kind::session);
    if (!sessionBus.isRunning())
        GTEST_SKIP() << "dbus-daemon is not installed";
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "openUrl");
    const QUrl file = QUrl::fromLocalFile(TestEnvironment::root() + QStringLiteral("/home/Downloads/log export.txt"));

    // Nobody serves FileManager1 yet: the folder opens instead.
    DiagnosticsCapture diagnostics;
    Workspace::shared().activateFileViewerSelectingURLs({file});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !catcher.urls.isEmpty(); }, 5000));
    EXPECT_EQ(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(TestEnvironment::root() + QStringLiteral("/home/Downloads"))});
    EXPECT_EQ(diagnostics.count(QStringLiteral("no file manager answered")), 1);

    QDBusConnection managerBus = sessionBus.connect(QStringLiteral("fake-file-manager"));
    FakeFileManager fileManager;
    ASSERT_TRUE(managerBus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &fileManager, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(managerBus.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    Workspace::shared().activateFileViewerSelectingURLs({file});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fileManager.shownItems.isEmpty(); }, 5000));
    EXPECT_EQ(fileManager.shownItems[0], QStringList{file.toString(QUrl::FullyEncoded)});
    EXPECT_EQ(catcher.urls.size(), 1);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

TEST(Workspace, HideAndBringToFront)
{
    QWidget window;
    window.resize(200, 100);
    window.show();
    Workspace::shared().hideApplication();
    EXPECT_FALSE(window.isVisible());
    Workspace::orderFrontRegardless(&window);
    EXPECT_TRUE(window.isVisible());

    // Without a tray the window must stay reachable: minimised, not hidden.
    Workspace::shared().hideApplication(Workspace::HideStyle::minimize);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isMinimized());
    Workspace::orderFrontRegardless(&window);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
}

TEST(Workspace, HidingTheApplicationLeavesTheTrayIconsWindow)
{
    QWidget window;
    window.resize(200, 100);
    window.show();
    // What an XEmbed tray icon is: a top-level window that bypasses the window manager.
    QWidget trayIcon(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
    trayIcon.resize(22, 22);
    trayIcon.show();
    EXPECT_TRUE(Workspace::isApplicationWindow(&window));
    EXPECT_FALSE(Workspace::isApplicationWindow(&trayIcon));

    for (const auto style : {Workspace::HideStyle::hide, Workspace::HideStyle::minimize}) {
        Workspace::orderFrontRegardless(&window);
        Workspace::shared().hideApplication(style);
        EXPECT_TRUE(trayIcon.isVisible());
        EXPECT_FALSE(trayIcon.isMinimized());
    }
}
