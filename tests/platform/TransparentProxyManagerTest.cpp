#include "platform/Bundle.h"
#include "platform/ExtensionProcess.h"
#include "platform/ProxyPreferences.h"
#include "platform/TransparentProxyManager.h"

#include "PlatformTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>

using namespace PlatformTest;

namespace {

const QString providerId = QStringLiteral("org.norvane.test.provider");

struct Loaded
{
    QList<TransparentProxyManager::Pointer> managers;
    std::optional<PlatformError> error;
    bool onMainThread = false;
};

Loaded loadAll()
{
    std::optional<Loaded> result;
    TransparentProxyManager::loadAllFromPreferences([&](QList<TransparentProxyManager::Pointer> managers, std::optional<PlatformError> error) {
        result = Loaded{managers, error, QThread::currentThread() == QCoreApplication::instance()->thread()};
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
    return result.value_or(Loaded{});
}

// Runs one of the manager's asynchronous operations and waits for its completion.
std::optional<PlatformError> await(const std::function<void(TransparentProxyManager::Completion)>& operation)
{
    bool done = false;
    std::optional<PlatformError> result;
    operation([&](std::optional<PlatformError> error) {
        result = error;
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 5000));
    return result;
}

// The configuration the application writes.
TransparentProxyManager::Pointer filterConfiguration(const QString& description = QStringLiteral("Norvane Filtering Proxy"))
{
    auto manager = TransparentProxyManager::create();
    manager->setProtocolConfiguration(TunnelProviderProtocol{QStringLiteral("Norvane Filtering Proxy"), QString()});
    manager->setOnDemandEnabled(true);
    manager->setOnDemandRules({OnDemandRule::connect()});
    manager->setEnabled(true);
    manager->setLocalizedDescription(description);
    return manager;
}

QString preferencesPath()
{
    return ProxyPreferences::shared().filePath();
}

} // namespace

TEST(TransparentProxyManager, SaveLoadRemoveRoundTrip)
{
    Loaded empty = loadAll();
    EXPECT_TRUE(empty.managers.isEmpty());
    EXPECT_FALSE(empty.error.has_value());

    auto first = filterConfiguration(QStringLiteral("first"));
    auto second = filterConfiguration(QStringLiteral("second"));
    second->setOnDemandEnabled(false);
    second->setOnDemandRules({OnDemandRule{OnDemandRule::Action::disconnect, OnDemandRule::InterfaceType::wifi}});
    EXPECT_FALSE(await([&](auto done) { first->saveToPreferences(done); }).has_value());
    EXPECT_FALSE(await([&](auto done) { second->saveToPreferences(done); }).has_value());
    EXPECT_FALSE(first->identifier().isEmpty());
    EXPECT_NE(first->identifier(), second->identifier());
    struct stat info {};
    ASSERT_EQ(stat(QFile::encodeName(preferencesPath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    Loaded loaded = loadAll();
    EXPECT_TRUE(loaded.onMainThread);
    ASSERT_EQ(loaded.managers.size(), 2);
    EXPECT_EQ(loaded.managers[0]->configuration(), first->configuration());
    EXPECT_EQ(loaded.managers[1]->configuration(), second->configuration());
    EXPECT_EQ(loaded.managers[0]->protocolConfiguration()->serverAddress, QStringLiteral("Norvane Filtering Proxy"));
    EXPECT_TRUE(loaded.managers[0]->onDemandRules().value(0).isAlwaysConnect());
    EXPECT_FALSE(loaded.managers[1]->onDemandRules().value(0).isAlwaysConnect());

    // Saving again rewrites in place; loading brings back what is stored.
    first->setEnabled(false);
    EXPECT_FALSE(await([&](auto done) { first->saveToPreferences(done); }).has_value());
    EXPECT_TRUE(loaded.managers[0]->isEnabled());
    EXPECT_FALSE(await([&](auto done) { loaded.managers[0]->loadFromPreferences(done); }).has_value());
    EXPECT_FALSE(loaded.managers[0]->isEnabled());
    EXPECT_EQ(loadAll().managers.size(), 2);

    EXPECT_FALSE(await([&](auto done) { first->removeFromPreferences(done); }).has_value());
    loaded = loadAll();
    ASSERT_EQ(loaded.managers.size(), 1);
    EXPECT_EQ(loaded.managers[0]->identifier(), second->identifier());
    const auto again = await([&](auto done) { first->removeFromPreferences(done); });
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->code(), VPNError::configurationInvalid);
}

TEST(TransparentProxyManager, InvalidConfigurationsAreNotSaved)
{
    auto noProtocol = TransparentProxyManager::create();
    auto noAddress = TransparentProxyManager::create();
    noAddress->setProtocolConfiguration(TunnelProviderProtocol{});
    for (const auto& manager : {noProtocol, noAddress}) {
        const auto error = await([&](auto done) { manager->saveToPreferences(done); });
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->domain(), QStringLiteral("NEVPNErrorDomain"));
        EXPECT_EQ(error->code(), VPNError::configurationInvalid);
    }
    EXPECT_FALSE(QFile::exists(preferencesPath()));
    // A new manager loads without error and keeps its values.
    auto fresh = filterConfiguration();
    EXPECT_FALSE(await([&](auto done) { fresh->loadFromPreferences(done); }).has_value());
    EXPECT_TRUE(fresh->isEnabled());
}

TEST(TransparentProxyManager, CorruptPreferencesAreMovedAsideAndReadAsEmpty)
{
    DiagnosticsCapture diagnostics;
    TestEnvironment::writeFile(preferencesPath(), "{\"configurations\": [ {\"identifier\": ");
    Loaded loaded = loadAll();
    EXPECT_TRUE(loaded.managers.isEmpty());
    EXPECT_FALSE(loaded.error.has_value());
    EXPECT_FALSE(QFile::exists(preferencesPath()));
    const QStringList aside = QDir(QFileInfo(preferencesPath()).absolutePath())
                                  .entryList({QStringLiteral("network-preferences.json.corrupt-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(TestEnvironment::readFile(QFileInfo(preferencesPath()).absolutePath() + QLatin1Char('/') + aside[0]),
              QStringLiteral("{\"configurations\": [ {\"identifier\": "));
    EXPECT_EQ(diagnostics.count(QStringLiteral("is corrupt")), 1);

    // The next save starts a fresh file.
    auto manager = filterConfiguration();
    EXPECT_FALSE(await([&](auto done) { manager->saveToPreferences(done); }).has_value());
    EXPECT_EQ(loadAll().managers.size(), 1);
}

TEST(TransparentProxyManager, AnUnreadableRecordIsSkippedButKept)
{
    DiagnosticsCapture diagnostics;
    const QJsonObject broken{{QStringLiteral("identifier"), QStringLiteral("x")},
                             {QStringLiteral("onDemandRules"), QJsonArray{QJsonObject{{QStringLiteral("action"), QStringLiteral("teleport")}}}}};
    TestEnvironment::writeFile(preferencesPath(),
                               QJsonDocument(QJsonObject{{QStringLiteral("configurations"), QJsonArray{broken}}}).toJson());
    EXPECT_TRUE(loadAll().managers.isEmpty());
    EXPECT_EQ(diagnostics.count(QStringLiteral("cannot be read")), 1);

    auto manager = filterConfiguration();
    EXPECT_FALSE(await([&](auto done) { manager->saveToPreferences(done); }).has_value());
    const QJsonArray stored =
        QJsonDocument::fromJson(TestEnvironment::readFile(preferencesPath()).toUtf8()).object().value(QStringLiteral("configurations")).toArray();
    ASSERT_EQ(stored.size(), 2);
    EXPECT_EQ(stored[0].toObject(), broken);
}

TEST(TransparentProxyManager, CompletionsRunOnTheMainThreadWhateverTheCaller)
{
    auto manager = filterConfiguration();
    std::atomic<int> onMain{0};
    std::atomic<int> calls{0};
    const auto check = [&] {
        ++calls;
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            ++onMain;
    };
    std::thread([&] {
        manager->saveToPreferences([&](auto) { check(); });
        TransparentProxyManager::loadAllFromPreferences([&](auto, auto) { check(); });
        manager->removeFromPreferences([&](auto) { check(); });
    }).join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls == 3; }, 5000));
    EXPECT_EQ(onMain, 3);
}

class TunnelConnectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString mainBundle = makeMainBundle();
        Bundle::setMainBundlePath(mainBundle);
        makeExtensionBundle(mainBundle, providerId, QStringLiteral("1.0"), QStringLiteral("1"), "exec sleep 600\n");
        executable = Bundle(mainBundle + QStringLiteral("/Contents/Library/SystemExtensions/") + providerId +
                            QStringLiteral(".systemextension"))
                         .executablePath();
        TunnelConnection::setConnectTimeout(std::chrono::hours(1));
    }
    void TearDown() override { reap(providerId); }

    void killProvider()
    {
        const auto pid = ExtensionProcess(providerId).runningProcessId();
        ASSERT_TRUE(pid.has_value());
        ::kill(pid_t(*pid), SIGKILL);
        ASSERT_TRUE(QTest::qWaitFor([&] { return isGone(*pid); }, 5000));
    }

    QString executable;
};

TEST_F(TunnelConnectionTest, StatusFollowsWhetherTheProviderRuns)
{
    auto manager = filterConfiguration();
    manager->setOnDemandEnabled(false);
    EXPECT_EQ(manager->connection().status(), VPNStatus::invalid);
    EXPECT_FALSE(await([&](auto done) { manager->saveToPreferences(done); }).has_value());
    EXPECT_EQ(manager->connection().providerBundleIdentifier(), providerId);
    EXPECT_EQ(manager->connection().status(), VPNStatus::disconnected);

    EXPECT_FALSE(manager->connection().startVPNTunnel().has_value());
    EXPECT_EQ(manager->connection().status(), VPNStatus::connecting);
    ASSERT_FALSE(ExtensionProcess(providerId).start(executable).has_value());
    EXPECT_EQ(int(manager->connection().status()), 3);

    // Another manager loaded for the same configuration sees the same tunnel.
    Loaded loaded = loadAll();
    ASSERT_EQ(loaded.managers.size(), 1);
    EXPECT_EQ(loaded.managers[0]->connection().status(), VPNStatus::connected);

    killProvider();
    EXPECT_EQ(manager->connection().status(), VPNStatus::connecting);
    TunnelConnection::setConnectTimeout(std::chrono::milliseconds(0));
    EXPECT_EQ(int(manager->connection().status()), 1);

    ASSERT_FALSE(ExtensionProcess(providerId).start(executable).has_value());
    EXPECT_EQ(manager->connection().status(), VPNStatus::connected);
    manager->connection().stopVPNTunnel();
    EXPECT_EQ(manager->connection().status(), VPNStatus::disconnected);

    EXPECT_FALSE(manager->connection().startVPNTunnel().has_value());
    EXPECT_EQ(manager->connection().status(), VPNStatus::connected);
    EXPECT_FALSE(await([&](auto done) { manager->removeFromPreferences(done); }).has_value());
    EXPECT_EQ(manager->connection().status(), VPNStatus::invalid);
}

TEST_F(TunnelConnectionTest, AlwaysConnectOnDemandNeedsNoStart)
{
    auto manager = filterConfiguration();
    EXPECT_FALSE(await([&](auto done) { manager->saveToPreferences(done); }).has_value());
    EXPECT_EQ(manager->connection().status(), VPNStatus::disconnected);
    ASSERT_FALSE(ExtensionProcess(providerId).start(executable).has_value());
    EXPECT_EQ(manager->connection().status(), VPNStatus::connected);
    killProvider();
    EXPECT_EQ(manager->connection().status(), VPNStatus::disconnected);
}

TEST_F(TunnelConnectionTest, StartFailsForUnsavedDisabledOrProviderlessConfigurations)
{
    auto manager = filterConfiguration();
    auto error = manager->connection().startVPNTunnel();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code(), VPNError::configurationInvalid);

    manager->setEnabled(false);
    EXPECT_FALSE(await([&](auto done) { manager->saveToPreferences(done); }).has_value());
    // Enabled in memory only: the saved configuration is what counts.
    manager->setEnabled(true);
    error = manager->connection().startVPNTunnel();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code(), VPNError::configurationDisabled);
    EXPECT_EQ(manager->connection().status(), VPNStatus::disconnected);

    manager->setProtocolConfiguration(TunnelProviderProtocol{QStringLiteral("x"), QStringLiteral("org.norvane.test.absent")});
    EXPECT_FALSE(await([&](auto done) { manager->saveToPreferences(done); }).has_value());
    error = manager->connection().startVPNTunnel();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code(), VPNError::connectionFailed);
}
