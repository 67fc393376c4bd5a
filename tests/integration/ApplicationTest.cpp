// The real program against both peers on loopback: the management-server stand-in and the
// filter-extension stand-in, which the program starts itself when it activates the filter.
#include "RunningApp.h"

#include "core/SessionData.h"
#include "platform/Bundle.h"
#include "platform/Paths.h"
#include "platform/TransparentProxyManager.h"
#include "platform/UserDefaults.h"

#include "FilterExtensionPeer.h"
#include "ManagementServerPeer.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <gtest/gtest.h>

namespace {

QString defaultsPath()
{
    return Paths::configDirectory() + QStringLiteral("/user-defaults.json");
}

void storeToken(const QString& token)
{
    UserDefaults(defaultsPath()).setString(SessionData::authTokenKey, token);
}

QString storedToken()
{
    return UserDefaults(defaultsPath()).string(SessionData::authTokenKey).value_or(QStringLiteral("<absent>"));
}

// The proxy configurations in the network preferences, as a fresh manager list reads them.
QList<TransparentProxyManager::Pointer> storedConfigurations()
{
    std::optional<QList<TransparentProxyManager::Pointer>> result;
    TransparentProxyManager::loadAllFromPreferences(
        [&](QList<TransparentProxyManager::Pointer> managers, std::optional<PlatformError>) { result = managers; });
    (void)QTest::qWaitFor([&] { return result.has_value(); }, 5000);
    return result.value_or(QList<TransparentProxyManager::Pointer>());
}

class ApplicationTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        // The extension outlives the program, as a system extension does.
        StartedExtension::terminate();
    }
    ManagementServerPeer server;
};

} // namespace

TEST_F(ApplicationTest, SignedOutStartLogsIntoBothFilesAndKeepsRunning)
{
    // An earlier version left the log folder and its files open to everybody.
    const QString logs = Paths::libraryDirectory() + QStringLiteral("/Logs");
    QDir().mkpath(logs);
    TestEnvironment::writeFile(logs + QStringLiteral("/gui-1.log"), "[old]: fingerprint\n");
    ::chmod(QFile::encodeName(logs).constData(), 0755);
    ::chmod(QFile::encodeName(logs + QStringLiteral("/gui-1.log")).constData(), 0644);
    RunningApp app;
    ASSERT_TRUE(RunningApp::waitForLogEntry(QStringLiteral("gui"), QStringLiteral("Can't connect to extension")))
        << app.output().toStdString();
    EXPECT_EQ(RunningApp::countLogEntries(QStringLiteral("logfile"), QStringLiteral("Sentry started")), 1);
    EXPECT_EQ(RunningApp::countLogEntries(QStringLiteral("gui"), QStringLiteral("Sentry started")), 0);
    EXPECT_TRUE(app.isRunning());
    // Nobody signed in: the filter is not activated.
    EXPECT_FALSE(StartedExtension::processId().has_value());
    // The program's folders and files are its user's only, old ones included.
    const auto mode = [](const QString& path) {
        struct stat status {};
        return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? (status.st_mode & 0777) : 0;
    };
    EXPECT_EQ(mode(Paths::libraryDirectory()), 0700u);
    EXPECT_EQ(mode(logs), 0700u);
    EXPECT_EQ(mode(logs + QStringLiteral("/gui-1.log")), 0600u);
    EXPECT_EQ(mode(RunningApp::logPath(QStringLiteral("gui"))), 0600u);
    EXPECT_EQ(mode(RunningApp::logPath(QStringLiteral("logfile"))), 0600u);
    EXPECT_EQ(app.terminate(), 0);
}

TEST_F(ApplicationTest, ASecondStartEndsWithStatusZeroAndLeavesTheFirst)
{
    RunningApp first;
    ASSERT_TRUE(RunningApp::waitForLogEntry(QStringLiteral("gui"), QStringLiteral("Can't connect to extension")));
    RunningApp second;
    EXPECT_EQ(second.waitForExit(), 0);
    EXPECT_EQ(RunningApp::countLogEntries(QStringLiteral("logfile"), QStringLiteral("Gui app is already running")), 1);
    EXPECT_TRUE(first.isRunning());
}

TEST_F(ApplicationTest, SignedInStartActivatesConfiguresRegistersAndAppliesUserData)
{
    storeToken(QStringLiteral("demo-token-0001"));
    RunningApp app;
    ASSERT_TRUE(StartedExtension::waitForProcess()) << app.output().toStdString();
    ASSERT_TRUE(RunningApp::waitForLogEntry(QStringLiteral("gui"), QStringLiteral("Gui client registered in IPC")))
        << app.output().toStdString();

    // The tunnel's provider is the extension in the program's bundle.
    Bundle::setMainBundlePath(QStringLiteral(NORVANE_TEST_BUNDLE_DIR));
    const auto configurations = storedConfigurations();
    ASSERT_EQ(configurations.size(), 1);
    EXPECT_TRUE(configurations.first()->isEnabled());
    EXPECT_EQ(configurations.first()->localizedDescription(), QStringLiteral("Norvane Filtering Proxy"));
    EXPECT_EQ(configurations.first()->connection().status(), VPNStatus::connected);

    // The extension's user data lands in the defaults (its demo session has a configuration).
    EXPECT_TRUE(QTest::qWaitFor(
        [] { return UserDefaults(defaultsPath()).data(SessionData::serverConfigurationKey).has_value(); }, 10000));
    EXPECT_EQ(storedToken(), QStringLiteral("demo-token-0001"));
}

TEST_F(ApplicationTest, AKilledExtensionIsActivatedAgainBySupervision)
{
    storeToken(QStringLiteral("demo-token-0001"));
    RunningApp app;
    ASSERT_TRUE(StartedExtension::waitForProcess());
    ASSERT_TRUE(RunningApp::waitForLogEntry(QStringLiteral("gui"), QStringLiteral("Gui client registered in IPC")));
    const auto firstPid = StartedExtension::processId();
    const int registrations = RunningApp::countLogEntries(QStringLiteral("gui"), QStringLiteral("Gui client registered in IPC"));

    StartedExtension::kill(SIGKILL);
    ASSERT_TRUE(StartedExtension::waitForProcess(20000, firstPid)) << app.output().toStdString();
    EXPECT_TRUE(RunningApp::waitForLogEntry(QStringLiteral("gui"), QStringLiteral("Connection dropped 3 recreating ")));
    EXPECT_TRUE(RunningApp::waitForLogEntry(QStringLiteral("gui"), QStringLiteral("Gui client registered in IPC"),
                                            registrations + 1, 20000));
    EXPECT_TRUE(app.isRunning());
}

TEST_F(ApplicationTest, DisableFromTheExtensionQuitsCleanly)
{
    storeToken(QStringLiteral("demo-token-0001"));
    RunningApp app;
    ASSERT_TRUE(StartedExtension::waitForProcess());
    ASSERT_TRUE(RunningApp::waitForLogEntry(QStringLiteral("gui"), QStringLiteral("Gui client registered in IPC")));
    const auto extensionPid = StartedExtension::processId();
    ASSERT_TRUE(extensionPid.has_value());

    FilterExtensionPeer extension;
    ASSERT_TRUE(extension.attach());
    ASSERT_TRUE(extension.sendDisable());

    EXPECT_EQ(app.waitForExit(20000), 0) << app.output().toStdString();
    EXPECT_EQ(storedToken(), QString());
    EXPECT_TRUE(storedConfigurations().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !StartedExtension::isRunning(*extensionPid); }, 10000));
    // The program told the extension before it went.
    EXPECT_TRUE(RunningApp::countLogEntries(QStringLiteral("gui"), QStringLiteral("GuiAppMonitor stopLaunchCtl")) == 1);
}
