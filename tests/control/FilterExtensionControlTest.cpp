// The stand-in's control channel: what a test or the demo commands arrives at the app's
// end of the link.
#include "AppSideConnection.h"
#include "FilterExtensionPeer.h"
#include "IpcTestPrinters.h"
#include "TestEnvironment.h"

#include "control/DisableMessage.h"
#include "control/InstallRootCertFailedMessage.h"
#include "control/SyncMessage.h"
#include "control/UrlBlockedMessage.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <QFile>

#include <gtest/gtest.h>

#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QString kCmd = QStringLiteral("cmd");

// A plain connected socket to path with bytes written on it, closed when it goes; it never
// reads what comes back.
class RawClient
{
public:
    RawClient(const QString& path, const QByteArray& bytes)
    {
        const QByteArray native = QFile::encodeName(path);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
        m_socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            m_connected =
                ::send(m_socket, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size();
    }
    ~RawClient() { ::close(m_socket); }
    bool isConnected() const { return m_connected; }

private:
    int m_socket = -1;
    bool m_connected = false;
};

class FilterExtensionControlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer.start());
        app = std::make_unique<AppSideConnection>(QLatin1String(FilterExtensionPeer::serviceName));
        ASSERT_EQ(app->registerWithPeer(), std::optional<bool>(true));
        ASSERT_TRUE(peer.waitForClients(1));
    }

    FilterExtensionPeer peer;
    std::unique_ptr<AppSideConnection> app;
};

} // namespace

TEST_F(FilterExtensionControlTest, BlockedRequestsReachTheAppAsManyTimesAsAsked)
{
    ASSERT_TRUE(peer.sendUrlBlocked(QStringLiteral("https://blocked.example/page?q=1"),
                                    QStringLiteral("Gambling"), QStringLiteral("casino"), 3));
    for (int i = 0; i < 3; ++i) {
        const auto delivery = app->take(IpcMessageId::urlBlocked);
        ASSERT_TRUE(delivery && delivery->message) << i;
        const auto& message = static_cast<const UrlBlockedMessage&>(*delivery->message);
        EXPECT_EQ(message.url, QStringLiteral("https://blocked.example/page?q=1"));
        EXPECT_EQ(message.category, QStringLiteral("Gambling"));
        EXPECT_EQ(message.textTrigger, QStringLiteral("casino"));
    }
    EXPECT_FALSE(app->take(IpcMessageId::urlBlocked, std::chrono::milliseconds(0)));
}

TEST_F(FilterExtensionControlTest, SyncAndDisableReachTheApp)
{
    ASSERT_TRUE(peer.sendSync());
    const auto sync = app->take(IpcMessageId::sync);
    ASSERT_TRUE(sync && sync->message);
    EXPECT_TRUE(static_cast<const SyncMessage&>(*sync->message).isSyncSuccessfull);

    ASSERT_TRUE(peer.sendDisable(QStringLiteral("/Applications/Norvane.app"), 31337));
    const auto disable = app->take(IpcMessageId::disable);
    ASSERT_TRUE(disable && disable->message);
    const auto& message = static_cast<const DisableMessage&>(*disable->message);
    EXPECT_EQ(message.bundlePath, QStringLiteral("/Applications/Norvane.app"));
    EXPECT_EQ(message.guiProcessPid, 31337);
}

TEST_F(FilterExtensionControlTest, InstallRootCertFailedCarriesThePemFileWhenGivenOne)
{
    const QString pemPath = TestEnvironment::root() + QStringLiteral("/root.pem");
    const QByteArray pem = peer.certificatePem().toLatin1();
    ASSERT_TRUE(pem.startsWith("-----BEGIN CERTIFICATE-----"));
    TestEnvironment::writeFile(pemPath, pem);

    ASSERT_TRUE(peer.sendInstallRootCertFailed(pemPath));
    const auto withFile = app->take(IpcMessageId::installRootCertFailed);
    ASSERT_TRUE(withFile && withFile->message);
    const SharedFileHandle handle = withFile->message->fileHandle();
    ASSERT_TRUE(handle && handle->isValid());
    EXPECT_EQ(handle->readToEnd(), pem);

    ASSERT_TRUE(peer.sendInstallRootCertFailed());
    const auto withoutFile = app->take(IpcMessageId::installRootCertFailed);
    ASSERT_TRUE(withoutFile && withoutFile->message);
    EXPECT_FALSE(withoutFile->hadFile);
    EXPECT_EQ(withoutFile->message->fileHandle(), nullptr);
}

TEST_F(FilterExtensionControlTest, SendingWithoutAnAppFailsAndBadCommandsGetAnError)
{
    app.reset();
    ASSERT_TRUE(peer.waitUntilNoClients());
    const QJsonObject cases[] = {
        {{kCmd, QStringLiteral("sync")}},
        {{kCmd, QStringLiteral("urlBlocked")}, {QStringLiteral("url"), QStringLiteral("https://a.example")}},
        {{kCmd, QStringLiteral("urlBlocked")}, {QStringLiteral("count"), 0}},
        {{kCmd, QStringLiteral("urlBlocked")}, {QStringLiteral("count"), 1.5}},
        {{kCmd, QStringLiteral("installRootCertFailed")},
         {QStringLiteral("pemPath"), QStringLiteral("/nonexistent.pem")}},
        {{kCmd, QStringLiteral("disable")}, {QStringLiteral("guiProcessPid"), 4294967296.0}},
        {{kCmd, QStringLiteral("setUserData")}, {QStringLiteral("json"), 42}},
        {{kCmd, QStringLiteral("no such command")}},
        {{kCmd, 7}},
        {},
    };
    for (const QJsonObject& command : cases) {
        SCOPED_TRACE(QJsonDocument(command).toJson(QJsonDocument::Compact).toStdString());
        const auto answer = peer.command(command);
        ASSERT_TRUE(answer);
        EXPECT_FALSE(answer->value(QStringLiteral("ok")).toBool());
        EXPECT_FALSE(answer->value(QStringLiteral("error")).toString().isEmpty());
    }
    EXPECT_TRUE(peer.ping()) << "the channel stays usable after errors";
}

TEST(FilterExtensionShutdown, SigtermEndsABurstToAnAppThatDoesNotRead)
{
    FilterExtensionPeer peer;
    ASSERT_TRUE(peer.start());
    // Only the handshake: the link's queue for this app fills up and its sender waits.
    const RawClient app(FilterExtensionPeer::serviceSocketPath(),
                        QByteArray::fromHex("0001000000064e5658500001"));
    ASSERT_TRUE(app.isConnected());
    ASSERT_TRUE(peer.waitForClients(1));
    const RawClient burst(FilterExtensionPeer::controlSocketPath(),
                          R"({"cmd":"urlBlocked","url":"https://a.example","count":5000000})"
                          "\n");
    ASSERT_TRUE(burst.isConnected());
    ASSERT_TRUE(peer.succeeds({{kCmd, QStringLiteral("waitLog")},
                               {QStringLiteral("text"), QStringLiteral("Sending 5000000 urlBlocked")}}));
    EXPECT_TRUE(peer.ping()) << "the control channel does not wait for the burst";
    EXPECT_EQ(peer.stop(std::chrono::seconds(5)), std::optional<int>(0));
}
