#include "control/AppDelegate.h"
#include "control/UserDataSyncMessage.h"
#include "core/Log.h"
#include "core/SessionData.h"
#include "platform/Bundle.h"
#include "platform/CrashReporter.h"
#include "platform/Deployment.h"
#include "platform/SystemExtensionRequest.h"
#include "platform/UserDefaults.h"

#include "LogEntries.h"
#include "RecordingCommandRunner.h"
#include "TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QStringList menuTitles(const AppDelegate& delegate)
{
    QStringList titles;
    for (const QAction* action : delegate.statusMenu()->actions())
        titles.append(action->text());
    return titles;
}

// User data as the extension sends it, with the configuration given.
std::shared_ptr<IpcMessage> userData(const QString& token, const QJsonObject& config)
{
    const QJsonObject session{{QStringLiteral("authToken"), token},
                              {QStringLiteral("userEmail"), QStringLiteral("a@b.c")},
                              {QStringLiteral("userConfig"), config},
                              {QStringLiteral("lastSyncTime"), 700000000.0},
                              {QStringLiteral("isLastSyncFailed"), false},
                              {QStringLiteral("bypassesUsed"), 0},
                              {QStringLiteral("relaxedPolicyEnabledTime"), QJsonValue::Null},
                              {QStringLiteral("lastRelaxedPolicyUsedTime"), 700000000.0}};
    return IpcMessage::create(3, {{QStringLiteral("request"), QStringLiteral("0")},
                                  {QStringLiteral("data"), QString::fromUtf8(QJsonDocument(session).toJson())}},
                              nullptr);
}

bool logHas(const QString& entry)
{
    return LogEntries::read(Log::shared().currentFilePath()).contains(entry);
}

} // namespace

TEST(AppDelegate, BlockedRequestsKeepTheNewestFifty)
{
    AppDelegate delegate;
    for (int i = 0; i < 50; ++i)
        delegate.addBlockedUrl(QStringLiteral("https://site%1.example/").arg(i), QStringLiteral("c"), QString());
    ASSERT_EQ(delegate.sessionModel()->blockedUrls().size(), 50);
    delegate.addBlockedUrl(QStringLiteral("https://newest.example/"), QStringLiteral("Adult"), QStringLiteral("word"));
    const auto list = delegate.sessionModel()->blockedUrls();
    ASSERT_EQ(list.size(), 50);
    EXPECT_EQ(list.first().url, QStringLiteral("https://site1.example/"));
    EXPECT_EQ(list.last().url, QStringLiteral("https://newest.example/"));
    EXPECT_EQ(list.last().category, QStringLiteral("Adult"));
    EXPECT_EQ(list.last().textTrigger, QStringLiteral("word"));
    EXPECT_NE(list.last().id, list.first().id);
}

TEST(AppDelegate, StatusMenuFollowsTheDebugFlagOfEachUserDataUpdate)
{
    AppDelegate delegate;
    delegate.buildStatusMenu();
    const QStringList regular{QStringLiteral("Open"), QStringLiteral("Block History"), QStringLiteral("Use Relaxed Policy"),
                              QStringLiteral("Sync Settings")};
    EXPECT_EQ(menuTitles(delegate), regular);
    EXPECT_EQ(delegate.statusMenu()->title(), QStringLiteral("NV StatusBar Menu"));

    for (const auto& [flag, expectDebug] : std::vector<std::pair<QJsonValue, bool>>{
             {1, true}, {2, false}, {0, false}, {QJsonValue::Null, false}, {1, true}}) {
        QJsonObject config;
        if (!flag.isNull())
            config.insert(QStringLiteral("DebugEnabled"), flag);
        delegate.handleUserDataSync(userData(QStringLiteral("t"), config));
        ASSERT_TRUE(QTest::qWaitFor([&] { return menuTitles(delegate).size() == (expectDebug ? 5 : 4); }));
        if (expectDebug) {
            EXPECT_EQ(menuTitles(delegate).last(), QStringLiteral("Quit (TEST ONLY)"));
        }
    }
}

TEST(AppDelegate, UserDataIsStoredThenAppliedAndGarbageIsIgnored)
{
    AppDelegate delegate;
    delegate.handleUserDataSync(userData(QStringLiteral("tok-1"),
                                         {{QStringLiteral("SelfModeration"), QJsonArray{QStringLiteral("a.com")}}}));
    EXPECT_EQ(UserDefaults::standard().string(SessionData::authTokenKey), QStringLiteral("tok-1"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate.sessionModel()->isLoggedIn(); }));
    EXPECT_EQ(delegate.sessionModel()->myBlockedSites(), QStringList{QStringLiteral("a.com")});

    const auto before = SessionData::shared();
    for (const QString& data : {QString(), QStringLiteral("{not json"), QStringLiteral("{\"authToken\":5}")}) {
        delegate.handleUserDataSync(IpcMessage::create(3, {{QStringLiteral("request"), QStringLiteral("0")},
                                                           {QStringLiteral("data"), data}},
                                                       nullptr));
        EXPECT_EQ(SessionData::shared(), before);
    }
    EXPECT_EQ(UserDefaults::standard().string(SessionData::authTokenKey), QStringLiteral("tok-1"));
}

TEST(AppDelegate, UserDataWithAnEmptyTokenRemovesTheProxyConfiguration)
{
    auto stored = TransparentProxyManager::create();
    TunnelProviderProtocol protocol;
    protocol.serverAddress = QStringLiteral("Norvane Filtering Proxy");
    stored->setProtocolConfiguration(protocol);
    stored->setEnabled(true);
    bool saved = false;
    stored->saveToPreferences([&](const std::optional<PlatformError>& error) { saved = !error; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return saved; }));

    AppDelegate delegate;
    // Signed out at start: the delegate loads the stored configuration and removes it.
    delegate.activateExtensionIfLoggedIn();
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate.proxyManager() != nullptr; }));
    int remaining = -1;
    const auto countStored = [&] {
        remaining = -1;
        TransparentProxyManager::loadAllFromPreferences(
            [&](QList<TransparentProxyManager::Pointer> managers, std::optional<PlatformError>) { remaining = managers.size(); });
        return QTest::qWaitFor([&] { return remaining >= 0; }) ? remaining : -1;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return countStored() == 0; }));

    // Stored again, then user data arrives with an empty token: removed again, tunnel down.
    saved = false;
    delegate.proxyManager()->setEnabled(true);
    delegate.proxyManager()->saveToPreferences([&](const std::optional<PlatformError>& error) { saved = !error; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return saved; }));
    ASSERT_EQ(countStored(), 1);
    delegate.handleUserDataSync(userData(QString(), {}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return countStored() == 0; }));
    EXPECT_FALSE(delegate.proxyManager()->isEnabled());
}

TEST(AppDelegate, ReplacesAnExtensionOnlyWhenTheShortVersionDiffers)
{
    AppDelegate delegate;
    const auto request = SystemExtensionRequest::activationRequest(QString::fromLatin1(AppDelegate::extensionIdentifier));
    const auto properties = [](const QString& shortVersion, const QString& build) {
        SystemExtensionProperties p;
        p.bundleShortVersion = shortVersion;
        p.bundleVersion = build;
        return p;
    };
    using Action = SystemExtensionRequest::ReplacementAction;
    EXPECT_EQ(delegate.actionForReplacingExtension(*request, properties("1.4.2", "7"), properties("1.4.2", "8")),
              Action::cancel);
    EXPECT_EQ(delegate.actionForReplacingExtension(*request, properties("1.4.2", "7"), properties("1.5.0", "7")),
              Action::replace);
    EXPECT_TRUE(logHas(QStringLiteral("Replacing extension org.norvane.filter.mac.extension version 1.4.2 with version 1.5.0")));
    EXPECT_EQ(delegate.actionForReplacingExtension(*request, properties("2.0", "1"), properties("1.0", "1")),
              Action::replace);
}

TEST(AppDelegate, SyncSettingsWithoutALinkShowsTheErrorOnTheAdvancedPage)
{
    Bundle::setMainBundlePath(TestEnvironment::root() + QStringLiteral("/Missing.app"));
    AppDelegate delegate;
    delegate.showSyncSettigns();
    EXPECT_EQ(delegate.sessionModel()->selectedMainPage(), MainViewTabs::advanced);
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate.sessionModel()->syncStatus() == SessionObservableObject::SyncStatus::error; }));
    delegate.showRelaxedPolicyEnable();
    EXPECT_EQ(delegate.sessionModel()->selectedMainPage(), MainViewTabs::relaxedPolicy);
    EXPECT_TRUE(delegate.autoenableRelaxedPolicy());
}

TEST(AppDelegate, QuitWithoutAConfigurationDeactivatesAndEndsWithStatusZero)
{
    Bundle::setMainBundlePath(TestEnvironment::root() + QStringLiteral("/Missing.app"));
    auto recorder = std::make_shared<RecordingCommandRunner>();
    CommandRunner::setShared(recorder);
    UserDefaults::standard().setString(SessionData::authTokenKey, QStringLiteral("tok"));
    AppDelegate delegate;
    int status = -1;
    QObject::connect(&delegate, &AppDelegate::exitRequested, [&](int s) { status = s; });
    delegate.quit();
    ASSERT_TRUE(QTest::qWaitFor([&] { return status == 0; }));
    EXPECT_EQ(UserDefaults::standard().string(SessionData::authTokenKey), QString());
    // The request fails (no extension in this bundle); quitting ends all the same.
    EXPECT_TRUE(logHas(QStringLiteral("IpcConnection not registered with the provider")));
    const QStringList commands = recorder->commands();
    ASSERT_GE(commands.size(), 4);
    EXPECT_EQ(commands.first(), QStringLiteral("launchctl unsetenv NODE_EXTRA_CA_CERTS"));
    EXPECT_EQ(commands.at(1), QStringLiteral("launchctl unload -w /Library/LaunchAgents/launch_nrvm.plist"));
    EXPECT_TRUE(commands.at(2).contains(QStringLiteral("launchctl bootout gui/")));
    EXPECT_TRUE(commands.at(3).contains(QStringLiteral("launchctl disable gui/")));
}

TEST(AppDelegate, TheBuiltInCrashReportDsnIsWellFormed)
{
    EXPECT_TRUE(CrashReporter::isValidDsn(Deployment::sentryDsn()));
}
