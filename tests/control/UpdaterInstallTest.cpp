// A whole update through the updater and the real update engine, in this process: the
// feed and a signed archive from the management-server peer, the installation into a
// copy of the built bundle, the extension stand-in told before the relaunch.
#include "control/IpcConnection.h"
#include "control/Updater.h"
#include "core/SessionData.h"
#include "core/SessionObservableObject.h"
#include "platform/Bundle.h"

#include "FilterExtensionPeer.h"
#include "ManagementServerPeer.h"
#include "RecordingUserDriver.h"
#include "SignedUpdate.h"

#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

TEST(UpdaterInstall, AnUpdateIsDownloadedWithProgressVerifiedInstalledAndAnnounced)
{
    using UpdateStatus = SessionObservableObject::UpdateStatus;
    ManagementServerPeer server;
    ASSERT_TRUE(server.isRunning());
    const QString copy = installBundleCopy();
    Bundle::setMainBundlePath(copy);
    const auto update = SignedUpdate::make(QStringLiteral("2.0.0"), QStringLiteral("2.0"));
    ASSERT_TRUE(update.has_value());
    ASSERT_TRUE(server.setUpdateFeed({update->serveFrom(server, QStringLiteral("Stable"))}));

    FilterExtensionPeer extension;
    ASSERT_TRUE(extension.start());
    std::optional<bool> registered;
    IpcConnection::shared().connectToProvider(getpid(), [&](bool success) { registered = success; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return registered.has_value(); }, 10000));
    ASSERT_TRUE(*registered);

    QStringList calls;
    RecordingUserDriver* driver = nullptr;
    std::optional<Bundle> relaunched;
    Updater::Options options;
    options.makeUserDriver = [&] {
        auto made = std::make_unique<RecordingUserDriver>(&calls);
        driver = made.get();
        return made;
    };
    options.relauncher = [&](const Bundle& bundle) {
        relaunched = bundle;
        return true;
    };
    Updater updater(std::move(options));
    SessionObservableObject session;
    updater.setSessionModel(&session);

    updater.checkForUpdates();
    EXPECT_TRUE(QTest::qWaitFor([&] { return session.updateStatus() == UpdateStatus::inProgress; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(driver->foundReply); }, 30000)) << calls.join(u',').toStdString();
    EXPECT_EQ(session.updateStatus(), UpdateStatus::hasUpdate);
    EXPECT_EQ(driver->foundItem.displayVersionString, QStringLiteral("2.0"));
    EXPECT_FALSE(session.lastUpdateTimeString().isEmpty());

    std::exchange(driver->foundReply, {})(UpdateChoice::install);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(driver->readyReply) || !driver->errors.isEmpty(); }, 120000))
        << calls.join(u',').toStdString();
    ASSERT_TRUE(driver->errors.isEmpty()) << driver->errors.first().description.toStdString();
    // Every byte was reported, against the announced length.
    EXPECT_EQ(driver->expectedLength, quint64(update->length));
    EXPECT_EQ(driver->receivedLength, quint64(update->length));
    EXPECT_TRUE(calls.contains(QStringLiteral("showDownloadInitiatedWithCancellation")));
    EXPECT_TRUE(calls.contains(QStringLiteral("showDownloadDidStartExtractingUpdate")));
    // Nothing is installed before the user says so.
    EXPECT_EQ(Bundle(copy).string(QStringLiteral("CFBundleShortVersionString")), QStringLiteral("1.4.2"));

    std::exchange(driver->readyReply, {})(UpdateChoice::install);
    ASSERT_TRUE(QTest::qWaitFor([&] { return relaunched.has_value(); }, 60000)) << calls.join(u',').toStdString();
    EXPECT_EQ(relaunched->bundlePath(), copy);
    EXPECT_EQ(Bundle(copy).string(QStringLiteral("CFBundleShortVersionString")), QStringLiteral("2.0"));
    EXPECT_EQ(Bundle(copy).string(QStringLiteral("CFBundleVersion")), QStringLiteral("2.0.0"));

    const auto received = extension.waitForReceived(1, rawValue(IpcMessageId::update));
    ASSERT_TRUE(received.has_value());
    EXPECT_GT(SessionData::shared()->lastUpdateTime(), SessionData::bootTime());
}
