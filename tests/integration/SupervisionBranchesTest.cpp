// The branches of a supervision run, wake, and the delegate's link handlers, through the
// application delegate against the real extension stand-in with short intervals.
#include "DelegateHarness.h"
#include "RunningApp.h"

#include "control/IpcConnection.h"
#include "control/UpdateMessage.h"
#include "control/UrlBlockedMessage.h"
#include "platform/Bundle.h"
#include "platform/ProxyPreferences.h"
#include "platform/TransparentProxyManager.h"
#include "platform/TunnelConnection.h"

#include "TestEnvironment.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>

namespace {

constexpr int userDataSyncId = 3;
constexpr int installRootCertFinishedId = 7;
constexpr int updateId = 8;
const QString cannotConnect = QStringLiteral("Can't connect to extension");

QList<ProxyConfiguration> storedConfigurations()
{
    return ProxyPreferences::shared().loadAll().configurations;
}

QString storeConfiguration()
{
    auto manager = TransparentProxyManager::create();
    TunnelProviderProtocol protocol;
    protocol.serverAddress = QStringLiteral("left from an earlier install");
    manager->setProtocolConfiguration(protocol);
    manager->setEnabled(true);
    bool saved = false;
    manager->saveToPreferences([&](const std::optional<PlatformError>& error) { saved = !error; });
    return QTest::qWaitFor([&] { return saved; }, 10000) ? manager->identifier() : QString();
}

VPNStatus statusOf(AppDelegate& delegate)
{
    const auto manager = delegate.proxyManager();
    return manager ? manager->connection().status() : VPNStatus::invalid;
}

// Waits for the run under way, if any, to end: runs are serial, so once the count has
// passed it, that run is over.
bool waitPastCurrentRun(DelegateHarness& harness)
{
    return harness.waitForRuns(harness.delegate().supervisionRunCount() + 1);
}

} // namespace

TEST(SupervisionBranches, ConnectedRunsReconnectAndAskAgainWithOneItemPending)
{
    DelegateHarness harness;
    ASSERT_TRUE(harness.launchAndRegister());
    ASSERT_TRUE(harness.settle());
    const int starts = harness.tunnelStarts();
    ASSERT_GE(starts, 1);
    const int runs = harness.delegate().supervisionRunCount();
    const int registrations = DelegateHarness::logCount(DelegateHarness::registered);
    const int requests = harness.receivedCount(userDataSyncId);
    QElapsedTimer clock;
    clock.start();

    ASSERT_TRUE(harness.waitForRuns(runs + 4));
    const qint64 elapsed = clock.elapsed();
    const int made = harness.delegate().supervisionRunCount() - runs;
    // One pending item, re-armed by each run: runs never come faster than the interval.
    EXPECT_LE(made, elapsed / 200 + 2) << made << " runs in " << elapsed << " ms";
    EXPECT_TRUE(DelegateHarness::waitForLogCount(DelegateHarness::registered, registrations + 4));
    EXPECT_TRUE(QTest::qWaitFor([&] { return harness.receivedCount(userDataSyncId) >= requests + 4; }, 30000));
    // Connected: nothing was activated again.
    EXPECT_EQ(harness.tunnelStarts(), starts);
}

TEST(SupervisionBranches, AStoppedTunnelIsActivatedAgainAndTheLinkReconnected)
{
    DelegateHarness harness;
    ASSERT_TRUE(harness.launchAndRegister());
    ASSERT_TRUE(harness.settle());
    const int starts = harness.tunnelStarts();
    harness.delegate().proxyManager()->connection().stopVPNTunnel();
    ASSERT_EQ(statusOf(harness.delegate()), VPNStatus::disconnected);
    const int registrations = DelegateHarness::logCount(DelegateHarness::registered);

    // The next run activates (the tunnel starts again) and reconnects the link as well.
    ASSERT_TRUE(QTest::qWaitFor([&] { return harness.tunnelStarts() == starts + 1; }, 30000));
    EXPECT_TRUE(DelegateHarness::waitForLogCount(DelegateHarness::registered, registrations + 2));
    ASSERT_TRUE(harness.settle());
    // Back to connected: no further activation over the next runs.
    ASSERT_TRUE(harness.waitForRuns(harness.delegate().supervisionRunCount() + 3));
    EXPECT_EQ(harness.tunnelStarts(), starts + 1);
}

TEST(SupervisionBranches, ConnectingIsNotActivatedAgainButTheLinkIsTriedEachRun)
{
    // The tunnel stays "connecting" for this long after its start while the provider is gone.
    TunnelConnection::setConnectTimeout(std::chrono::minutes(10));
    DelegateHarness harness;
    ASSERT_TRUE(harness.launchAndRegister());
    ASSERT_TRUE(harness.settle());
    const int starts = harness.tunnelStarts();
    const auto pid = StartedExtension::processId();
    ASSERT_TRUE(pid.has_value());
    StartedExtension::kill(SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !StartedExtension::isRunning(*pid); }, 10000));
    ASSERT_EQ(statusOf(harness.delegate()), VPNStatus::connecting);

    const int failures = DelegateHarness::logCount(cannotConnect);
    EXPECT_TRUE(DelegateHarness::waitForLogCount(cannotConnect, failures + 3));
    EXPECT_EQ(harness.tunnelStarts(), starts);
    EXPECT_FALSE(StartedExtension::isRunning(StartedExtension::processId().value_or(*pid)));
}

TEST(SupervisionBranches, SignedOutRunsRemoveTheConfigurationAndLeaveTheLinkAlone)
{
    DelegateHarness harness;
    ASSERT_TRUE(harness.launchAndRegister());
    ASSERT_TRUE(harness.settle());
    const int starts = harness.tunnelStarts();
    // The extension's user data signs the user out; it comes through the delegate's handlers
    // for a sync (2) and the user data it asks for (3).
    const auto current = harness.extension().command({{QStringLiteral("cmd"), QStringLiteral("userData")}});
    ASSERT_TRUE(current.has_value());
    QJsonObject session = current->value(QStringLiteral("data")).toObject();
    ASSERT_FALSE(session.isEmpty());
    session.insert(QStringLiteral("authToken"), QString());
    ASSERT_TRUE(harness.extension().setUserDataJson(session));
    ASSERT_TRUE(harness.extension().sendSync());
    ASSERT_TRUE(QTest::qWaitFor([&] { return storedConfigurations().isEmpty(); }, 30000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !harness.delegate().proxyManager()->isEnabled(); }, 30000));

    ASSERT_TRUE(waitPastCurrentRun(harness));
    const int registrations = DelegateHarness::logCount(DelegateHarness::registered);
    const int requests = harness.receivedCount(userDataSyncId);
    ASSERT_TRUE(harness.waitForRuns(harness.delegate().supervisionRunCount() + 3));
    EXPECT_EQ(DelegateHarness::logCount(DelegateHarness::registered), registrations);
    EXPECT_EQ(harness.receivedCount(userDataSyncId), requests);
    EXPECT_TRUE(storedConfigurations().isEmpty());
    EXPECT_EQ(harness.tunnelStarts(), starts);
}

TEST(SupervisionBranches, OfTwoStoredConfigurationsTheLastIsKeptAndRewritten)
{
    DelegateHarness harness;
    const QString first = storeConfiguration();
    const QString last = storeConfiguration();
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(last.isEmpty());
    ASSERT_EQ(storedConfigurations().size(), 2);

    ASSERT_TRUE(harness.launchAndRegister());
    ASSERT_TRUE(harness.settle());
    const QList<ProxyConfiguration> stored = storedConfigurations();
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored.first().identifier, last);
    EXPECT_EQ(stored.first().localizedDescription, QStringLiteral("Norvane Filtering Proxy"));
    ASSERT_TRUE(stored.first().protocolConfiguration.has_value());
    EXPECT_EQ(stored.first().protocolConfiguration->serverAddress, QStringLiteral("Norvane Filtering Proxy"));
    EXPECT_TRUE(stored.first().isEnabled);
    EXPECT_TRUE(stored.first().isOnDemandEnabled);
    EXPECT_EQ(harness.delegate().proxyManager()->identifier(), last);
}

TEST(SupervisionBranches, WakeConfiguresWithoutAManagerAndRestartsTheTunnelWithOne)
{
    DelegateHarness harness;
    AppDelegate& delegate = harness.create();
    delegate.onWakeNote();
    EXPECT_EQ(DelegateHarness::logCount(QStringLiteral("onWakeNote")), 1);
    // No manager: the proxy is configured, saved and started, and supervision is armed.
    ASSERT_TRUE(QTest::qWaitFor([&] { return harness.tunnelStarts() >= 1; }, 30000));
    ASSERT_EQ(storedConfigurations().size(), 1);
    EXPECT_TRUE(delegate.proxyManager()->isEnabled());
    EXPECT_TRUE(harness.waitForRuns(3));

    // With a manager: stop and start again, nothing new is written.
    delegate.onWakeNote();
    EXPECT_EQ(DelegateHarness::logCount(QStringLiteral("onWakeNote")), 2);
    EXPECT_EQ(DelegateHarness::logCount(QStringLiteral("Failed to reconnect VPN: ")), 0);
    EXPECT_NE(statusOf(delegate), VPNStatus::disconnected);
    EXPECT_EQ(storedConfigurations().size(), 1);

    // A configuration that left the preferences cannot be started: logged.
    ASSERT_FALSE(ProxyPreferences::shared().remove(delegate.proxyManager()->identifier()).has_value());
    delegate.onWakeNote();
    EXPECT_EQ(DelegateHarness::logCount(QStringLiteral("Failed to reconnect VPN: ")), 1);
}

TEST(SupervisionBranches, AFailedActivationOutsideTheQuitPathIsLoggedAndTheProgramGoesOn)
{
    DelegateHarness harness;
    Bundle::setMainBundlePath(TestEnvironment::root() + QStringLiteral("/Missing.app"));
    AppDelegate& delegate = harness.create();
    QSignalSpy exits(&delegate, &AppDelegate::exitRequested);
    const QString failed = QStringLiteral("System extension request failed: ");
    delegate.activateExtensionIfLoggedIn();
    ASSERT_TRUE(DelegateHarness::waitForLogCount(failed, 1));
    // A second request is answered after the first: had the first ended anything, it would show.
    delegate.activateExtensionIfLoggedIn();
    ASSERT_TRUE(DelegateHarness::waitForLogCount(failed, 2));
    EXPECT_EQ(exits.count(), 0);
    EXPECT_FALSE(delegate.pendingExit());
    EXPECT_EQ(harness.tunnelStarts(), 0);
}

TEST(SupervisionBranches, SyncAndCertificateRequestsFromTheExtensionAreAnswered)
{
    DelegateHarness harness;
    // Runs further apart, so that most user-data requests counted are the handler's answers.
    ASSERT_TRUE(harness.launchAndRegister(DelegateHarness::shortTiming(std::chrono::milliseconds(100), std::chrono::seconds(2))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return harness.receivedCount(userDataSyncId) >= 1; }, 30000));
    for (int round = 1; round <= 3; ++round) {
        const int requests = harness.receivedCount(userDataSyncId);
        ASSERT_TRUE(harness.extension().sendSync());
        EXPECT_TRUE(QTest::qWaitFor([&] { return harness.receivedCount(userDataSyncId) > requests; }, 30000))
            << "round " << round;
        ASSERT_TRUE(harness.extension().sendInstallRootCertFailed());
        EXPECT_TRUE(QTest::qWaitFor([&] { return harness.receivedCount(installRootCertFinishedId) == round; }, 30000))
            << "round " << round;
    }
}

TEST(SupervisionBranches, ADelegateDestroyedWhileDeliveriesStreamInGetsNoLateMessage)
{
    DelegateHarness harness;
    ASSERT_TRUE(harness.launchAndRegister());
    FilterExtensionPeer& extension = harness.extension();
    std::atomic<bool> streaming{true};
    std::atomic<int> rounds{0};
    std::thread streamer([&] {
        while (streaming) {
            extension.sendUrlBlocked(QStringLiteral("https://stream.example/"), QStringLiteral("c"), {}, 200);
            extension.sendSync();
            ++rounds;
        }
    });
    // Deliveries and the delegate's answers are under way when it goes.
    const int requests = harness.receivedCount(userDataSyncId);
    EXPECT_TRUE(QTest::qWaitFor([&] { return harness.receivedCount(userDataSyncId) >= requests + 5; }, 30000));
    harness.destroyDelegate();
    const int roundsAtDestruction = rounds;
    EXPECT_TRUE(QTest::qWaitFor([&] { return rounds >= roundsAtDestruction + 3; }, 30000));
    streaming = false;
    streamer.join();

    // Frames on one connection keep their order: once a message sent after the stream has
    // arrived, every answer the delegate gave has arrived before it.
    const auto settled = [&](int expectedUpdates) {
        IpcConnection::shared().sendMessage(UpdateMessage());
        return QTest::qWaitFor([&] { return harness.receivedCount(updateId) == expectedUpdates; }, 30000);
    };
    ASSERT_TRUE(settled(1));
    const int answered = harness.receivedCount(userDataSyncId);
    std::atomic<bool> marker{false};
    IpcConnection::shared().addMessageHandler(IpcMessageId::urlBlocked, [&](const std::shared_ptr<IpcMessage>& message) {
        if (std::static_pointer_cast<UrlBlockedMessage>(message)->url == QStringLiteral("https://marker.example/"))
            marker = true;
    });
    ASSERT_TRUE(extension.sendSync());
    ASSERT_TRUE(extension.sendUrlBlocked(QStringLiteral("https://marker.example/"), QStringLiteral("c"), {}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return marker.load(); }, 30000));
    ASSERT_TRUE(settled(2));
    // The sync after the delegate went found no handler: nobody asked for user data.
    EXPECT_EQ(harness.receivedCount(userDataSyncId), answered);
    IpcConnection::shared().removeMessageHandler(IpcMessageId::urlBlocked);
}
