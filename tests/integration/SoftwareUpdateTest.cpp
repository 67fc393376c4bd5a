// Software updates of the real program against both stand-ins: the management server
// serves the feed and a signed archive, the extension stand-in is the program's filter.
// The program runs from a copy of the built bundle in the test's temporary folder, on a
// virtual display, and its update windows are answered through the accessibility bus.
#include "AccessibleDriver.h"
#include "RunningApp.h"

#include "core/SessionData.h"
#include "platform/Bundle.h"
#include "platform/DateFormatter.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"

#include "FilterExtensionPeer.h"
#include "ManagementServerPeer.h"
#include "SignedUpdate.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

#include <csignal>
#include <gtest/gtest.h>

namespace {

const QString token = QString::fromLatin1(ManagementServerPeer::demoToken);

QString defaultsPath()
{
    return Paths::configDirectory() + QStringLiteral("/user-defaults.json");
}

// Processes whose program is the executable (by its path), other than `except`.
QList<qint64> processesOf(const QString& executable, qint64 except = 0)
{
    QList<qint64> found;
    const QString wanted = QFileInfo(executable).canonicalFilePath();
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isNumber = false;
        const qint64 pid = entry.toLongLong(&isNumber);
        if (!isNumber || pid == except || !StartedExtension::isRunning(pid))
            continue;
        if (QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).canonicalFilePath() == wanted)
            found.append(pid);
    }
    return found;
}

class SoftwareUpdateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.isRunning());
        UserDefaults(defaultsPath()).setString(SessionData::authTokenKey, token);
    }

    void TearDown() override
    {
        // The relaunched program is nobody's child: it is asked to stop like any other.
        for (const qint64 pid : relaunched) {
            ::kill(static_cast<pid_t>(pid), SIGTERM);
            EXPECT_TRUE(QTest::qWaitFor([&] { return !StartedExtension::isRunning(pid); }, 15000))
                << "the relaunched program did not stop";
        }
        StartedExtension::kill(SIGKILL);
    }

    ManagementServerPeer server;
    QList<qint64> relaunched;
};

} // namespace

TEST_F(SoftwareUpdateTest, WithNothingNewThePageSaysUpToDate)
{
    DesktopSession desktop;
    ASSERT_TRUE(desktop.start()) << desktop.error().toStdString();
    // An empty feed: the check after the first user data finds nothing.
    ASSERT_TRUE(server.setUpdateFeed({}));
    RunningApp app(AccessibleDriver::environment(desktop));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.requests(ManagementServerPeer::updateFeedPath()).isEmpty(); }, 30000))
        << app.output().toStdString();
    const auto request = server.requests(ManagementServerPeer::updateFeedPath()).first();
    EXPECT_TRUE(request.query.startsWith(QStringLiteral("acid=")));
    EXPECT_TRUE(request.query.contains(QStringLiteral("&v=1.4.2&os=")));

    ASSERT_TRUE(AccessibleDriver::selectSidebarEntry(desktop, app.processId(), QStringLiteral("Advanced")))
        << AccessibleDriver::lastError().toStdString();
    EXPECT_TRUE(AccessibleDriver::waitFor(desktop, app.processId(), QStringLiteral("label"), QStringLiteral("Up to date")));
    EXPECT_TRUE(AccessibleDriver::waitFor(desktop, app.processId(), QStringLiteral("push button"),
                                          QStringLiteral("check for updates")));
    EXPECT_EQ(RunningApp::countLogEntries(QStringLiteral("gui"), QStringLiteral("Update with error")), 0);
    EXPECT_TRUE(app.isRunning());
}

TEST_F(SoftwareUpdateTest, AFeedAnsweringWithAServerErrorIsLoggedAndShownAsAnUpdateError)
{
    DesktopSession desktop;
    ASSERT_TRUE(desktop.start()) << desktop.error().toStdString();
    ManagementServerPeer::Answer failure;
    failure.status = 500;
    failure.body = "Internal Server Error";
    ASSERT_TRUE(server.script(ManagementServerPeer::updateFeedPath(), failure));
    RunningApp app(AccessibleDriver::environment(desktop));
    EXPECT_TRUE(RunningApp::waitForLogEntry(QStringLiteral("gui"), QStringLiteral("Update with error: "), 1, 30000))
        << app.output().toStdString();
    ASSERT_TRUE(AccessibleDriver::selectSidebarEntry(desktop, app.processId(), QStringLiteral("Advanced")))
        << AccessibleDriver::lastError().toStdString();
    EXPECT_TRUE(AccessibleDriver::waitFor(desktop, app.processId(), QStringLiteral("label"), QStringLiteral("Update Error")))
        << AccessibleDriver::dump(desktop, app.processId()).toStdString();
    EXPECT_TRUE(app.isRunning());
}

TEST_F(SoftwareUpdateTest, AnOfferedUpdateIsInstalledAndTheNewVersionAsksForAReboot)
{
    DesktopSession desktop;
    ASSERT_TRUE(desktop.start()) << desktop.error().toStdString();
    const QString copy = installBundleCopy();
    const QString executable = copy + QStringLiteral("/Contents/MacOS/Norvane");
    const auto update = SignedUpdate::make(QStringLiteral("2.0.0"), QStringLiteral("2.0"));
    ASSERT_TRUE(update.has_value());
    ASSERT_TRUE(server.setUpdateFeed({update->feedItem(server, QStringLiteral("Beta")),
                                      update->serveFrom(server, QStringLiteral("Stable"))}));

    RunningApp app(AccessibleDriver::environment(desktop), executable);
    const qint64 oldPid = app.processId();
    ASSERT_TRUE(StartedExtension::waitForProcess()) << app.output().toStdString();
    FilterExtensionPeer extension;
    ASSERT_TRUE(extension.attach());

    // The check after the first user data offers 2.0.
    ASSERT_TRUE(AccessibleDriver::waitFor(desktop, oldPid, QStringLiteral("label"),
                                          QStringLiteral("A new version of Norvane is available!")))
        << AccessibleDriver::lastError().toStdString() << app.output().toStdString();
    EXPECT_TRUE(AccessibleDriver::waitForNameContaining(desktop, oldPid, QStringLiteral("label"),
                                              QStringLiteral("Norvane 2.0 is now available (you have 1.4.2)")));
    ASSERT_TRUE(AccessibleDriver::press(desktop, oldPid, QStringLiteral("Install Update")))
        << AccessibleDriver::lastError().toStdString();

    // Downloaded, checked and unpacked: ready to install.
    ASSERT_TRUE(AccessibleDriver::press(desktop, oldPid, QStringLiteral("Install and Relaunch"), std::chrono::seconds(120)))
        << AccessibleDriver::lastError().toStdString() << app.output().toStdString();
    const auto downloads = server.requests(ManagementServerPeer::updateFilePath(update->fileName()));
    EXPECT_EQ(downloads.size(), 1);

    // The old program ends with status 0, after telling the extension.
    EXPECT_EQ(app.waitForExit(30000), 0)
        << app.output().toStdString()
        << TestEnvironment::readFile(RunningApp::logPath(QStringLiteral("gui"))).right(4000).toStdString();
    const auto received = extension.waitForReceived(1, 8, std::chrono::seconds(30));
    ASSERT_TRUE(received.has_value());
    EXPECT_EQ(received->last().toObject().value(QStringLiteral("pid")).toInteger(), oldPid);

    // The copy is now 2.0, and 2.0 runs from it.
    EXPECT_EQ(Bundle(copy).string(QStringLiteral("CFBundleShortVersionString")), QStringLiteral("2.0"));
    EXPECT_EQ(QDir(copy + QStringLiteral("/..")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("Norvane.app")});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            relaunched = processesOf(executable, oldPid);
            return !relaunched.isEmpty();
        },
        30000));
    const qint64 newPid = relaunched.first();
    EXPECT_TRUE(AccessibleDriver::waitForNameContaining(desktop, newPid, QStringLiteral("label"), QStringLiteral("VERSION 2.0")))
        << AccessibleDriver::lastError().toStdString() << AccessibleDriver::dump(desktop, newPid).toStdString()
        << TestEnvironment::readFile(RunningApp::logPath(QStringLiteral("logfile"))).right(3000).toStdString();
    EXPECT_TRUE(AccessibleDriver::waitForNameContaining(desktop, newPid, QStringLiteral("label"),
                                              QStringLiteral("Please reboot to complete update.")))
        << AccessibleDriver::lastError().toStdString();
    // The new program waited for the old one to end instead of taking it for a second copy.
    EXPECT_EQ(RunningApp::countLogEntries(QStringLiteral("logfile"), QStringLiteral("Gui app is already running")), 0);
    // What made it ask: the time stored just before the relaunch.
    const auto stored = UserDefaults(defaultsPath()).string(SessionData::lastUpdateTimeKey);
    ASSERT_TRUE(stored.has_value());
    const auto lastUpdate = DateFormatter::parseShortStyle(*stored);
    ASSERT_TRUE(lastUpdate.has_value());
    EXPECT_GT(*lastUpdate, SessionData::bootTime());
}
