// The application's link against the filter-extension stand-in in its own process.
#include "control/CopyLogMessage.h"
#include "control/IpcConnection.h"
#include "control/UrlBlockedMessage.h"
#include "control/UserDataSyncMessage.h"
#include "core/Log.h"
#include "core/SessionData.h"
#include "platform/Bundle.h"
#include "platform/FileHandle.h"
#include "platform/UserDefaults.h"

#include "FilterExtensionPeer.h"
#include "LogEntries.h"
#include "TestEnvironment.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <atomic>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

bool registerLink()
{
    std::atomic<int> result{-1};
    IpcConnection::shared().connectToProvider(getpid(), [&](bool ok) { result = ok ? 1 : 0; });
    return QTest::qWaitFor([&] { return result != -1; }, 10000) && result == 1;
}

int logCount(const QString& text)
{
    const QStringList entries = LogEntries::read(Log::shared().currentFilePath());
    return static_cast<int>(std::count_if(entries.cbegin(), entries.cend(), [&](const QString& e) { return e.contains(text); }));
}

class LinkWithExtensionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Bundle::setMainBundlePath(QStringLiteral(NORVANE_TEST_BUNDLE_DIR));
        ASSERT_TRUE(extension.start());
        ASSERT_TRUE(registerLink());
    }
    FilterExtensionPeer extension;
};

} // namespace

TEST_F(LinkWithExtensionTest, UserDataRoundTripLandsInTheDefaults)
{
    QJsonObject session = QJsonDocument::fromJson(SessionData::shared()->toJson()).object();
    session.insert(QStringLiteral("authToken"), QStringLiteral("from-the-extension"));
    session.insert(QStringLiteral("userEmail"), QStringLiteral("someone@example.org"));
    ASSERT_TRUE(extension.setUserDataJson(session));

    std::atomic<bool> applied{false};
    IpcConnection::shared().addMessageHandler(IpcMessageId::userDataSync, [&](const std::shared_ptr<IpcMessage>& m) {
        const auto sync = std::static_pointer_cast<UserDataSyncMessage>(m);
        if (auto decoded = SessionData::fromJson(sync->data.value_or(QByteArray()))) {
            SessionData::setShared(decoded.value());
            applied = true;
        }
    });
    UserDataSyncMessage request;
    request.request = true;
    bool sent = false;
    IpcConnection::shared().sendMessage(request, [&](bool ok) { sent = ok; });
    EXPECT_TRUE(sent);
    ASSERT_TRUE(QTest::qWaitFor([&] { return applied.load(); }, 10000));
    EXPECT_EQ(UserDefaults::standard().string(SessionData::authTokenKey), QStringLiteral("from-the-extension"));
    EXPECT_EQ(SessionData::shared()->userEmail(), QStringLiteral("someone@example.org"));
}

TEST_F(LinkWithExtensionTest, BlockedRequestsReachTheHandlerInOrder)
{
    std::mutex mutex;
    QStringList urls;
    IpcConnection::shared().addMessageHandler(IpcMessageId::urlBlocked, [&](const std::shared_ptr<IpcMessage>& m) {
        std::lock_guard lock(mutex);
        urls.append(std::static_pointer_cast<UrlBlockedMessage>(m)->url);
    });
    ASSERT_TRUE(extension.sendUrlBlocked(QStringLiteral("https://a.example/"), QStringLiteral("Adult"), {}, 500));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        std::lock_guard lock(mutex);
        return urls.size() == 500;
    }, 10000));
    std::lock_guard lock(mutex);
    EXPECT_EQ(urls.first(), QStringLiteral("https://a.example/"));
}

TEST_F(LinkWithExtensionTest, TheExtensionFillsTheLogFileItIsHanded)
{
    const QString path = TestEnvironment::root() + QStringLiteral("/Downloads/nvlog/golog_2026-12-09.txt");
    TestEnvironment::writeFile(path, QByteArray());
    CopyLogMessage copy;
    copy.type = LogType::serviceLog;
    copy.handle = std::make_shared<const FileHandle>(FileHandle::openForWriting(path));
    ASSERT_TRUE(copy.handle->isValid());
    IpcConnection::shared().sendMessage(copy);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !TestEnvironment::readFile(path).isEmpty(); }, 10000));
    EXPECT_TRUE(TestEnvironment::readFile(path).contains(QStringLiteral("serviceLog")));
}

TEST_F(LinkWithExtensionTest, ARestartedExtensionGetsANewRegisteredConnection)
{
    std::atomic<int> blocked{0};
    IpcConnection::shared().addMessageHandler(IpcMessageId::urlBlocked,
                                              [&](const std::shared_ptr<IpcMessage>&) { ++blocked; });
    extension.kill();
    ASSERT_TRUE(QTest::qWaitFor([] { return logCount(QStringLiteral("Connection dropped 3 recreating ") + QString::number(getpid())) == 1; }, 10000));
    // The immediate reconnect finds nobody: its registration fails and it leaves the table.
    ASSERT_TRUE(QTest::qWaitFor([] { return logCount(QStringLiteral("IpcConnection Failed to register with the provider")) >= 1; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([] { return IpcConnection::shared().connectionCount() == 0; }, 10000));
    FilterExtensionPeer restarted;
    ASSERT_TRUE(restarted.start());
    // What brings the link back is the next supervision run, which connects again; a
    // connection that met nobody has left the table by then. Connect as those runs do
    // until one has registered with the restarted extension.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            IpcConnection::shared().connectToProvider(getpid());
            return restarted.waitForClients(1, true, std::chrono::milliseconds(200));
        },
        30000));
    // The handlers outlived the connection.
    ASSERT_TRUE(restarted.sendUrlBlocked(QStringLiteral("https://b.example/"), QStringLiteral("c"), {}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return blocked == 1; }, 10000));
}
