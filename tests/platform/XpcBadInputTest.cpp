#include "platform/XpcConnection.h"
#include "platform/XpcConnectionCore.h"
#include "platform/XpcListener.h"
#include "platform/XpcSocket.h"

#include "XpcTestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace XpcTest;

namespace {

// A listener whose connections answer "echo:" and count their interruptions.
struct EchoService
{
    explicit EchoService(const QString& name) : listener(name)
    {
        listener.setShouldAcceptNewConnection([this](const std::shared_ptr<XpcConnection>& connection) {
            connection->setExportedHandler(
                [](XpcInvocation invocation, XpcReplyBlock reply) { reply(invocation.arguments); });
            connection->setInterruptionHandler([this] { events.update([&] { ++interruptions; }); });
            connection->setInvalidationHandler([this] { events.update([&] { ++invalidations; }); });
            connection->resume();
            events.update([&] { connections.push_back(connection); });
            return true;
        });
        EXPECT_TRUE(listener.resume());
    }
    ~EchoService()
    {
        listener.invalidate();
        const auto accepted = events.read([&] { return connections; });
        for (auto& connection : accepted)
            connection->invalidate();
        EXPECT_TRUE(events.waitUntil([&] { return invalidations == accepted.size(); }));
    }

    Events events;
    int interruptions = 0;
    size_t invalidations = 0;
    std::vector<std::shared_ptr<XpcConnection>> connections;
    XpcListener listener;
};

bool echoWorks(const QString& name)
{
    Events events;
    std::optional<XpcArguments> reply;
    XpcConnection client(name);
    client.resume();
    client.call(
        {QStringLiteral("echo:"), {XpcValue::fromText("still here")}, {}},
        [&](const XpcArguments& r) { events.update([&] { reply = r; }); }, nullptr);
    return events.waitUntil([&] { return reply.has_value(); }) &&
           reply->value(0).toText() == QStringLiteral("still here");
}

QByteArray withLength(quint16 kind, const QByteArray& body)
{
    return XpcFrameEncoder::header(kind, static_cast<quint32>(body.size())) + body;
}

} // namespace

TEST(XpcBadInput, EachDropsThatPeerAndTheServiceGoesOn)
{
    const QByteArray hello = XpcFrameEncoder::hello();
    const QByteArray call = frameBytes(callFrame(QStringLiteral("echo:"), {XpcValue::fromText("x")}, 1));
    const struct
    {
        const char* name;
        QByteArray bytes;
        bool closeAfterWriting;
        QByteArray logged;
    } cases[] = {
        {"frame before the handshake", call, false, "frame of kind 3 before the handshake"},
        {"length over the cap", hello + XpcFrameEncoder::header(2, XpcWire::maximumBodyLength + 1), false,
         "Peer tried to send huge frame (16777217 bytes"},
        {"truncated frame", hello + call.left(call.size() - 3), true,
         QByteArray("truncated frame: the peer closed the connection after ") +
             QByteArray::number(call.size() - 3) + " of " + QByteArray::number(call.size()) + " bytes"},
        {"truncated header", hello + call.left(4), true, "after 4 of at least 6 bytes"},
        {"other protocol version", XpcFrameEncoder::hello(7), false, "protocol version 7"},
        {"malformed value", hello + withLength(2, QByteArray::fromHex("00 0001 73 0001 09")), false,
         "unknown value tag 9"},
        {"descriptor announced, none sent", hello + withLength(2, QByteArray::fromHex("01 0001 73 0000")),
         false, "announced a descriptor that did not come"},
    };
    const QString name = serviceName();
    EchoService service(name);
    int expectedInterruptions = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DiagnosticsCapture diagnostics;
        const int socket = rawConnect(service.listener.socketPath());
        ASSERT_GE(socket, 0);
        ASSERT_TRUE(rawWrite(socket, c.bytes));
        if (c.closeAfterWriting)
            ::shutdown(socket, SHUT_WR);
        // The service closes on us after its own handshake.
        EXPECT_EQ(rawReadToEnd(socket), hello);
        ::close(socket);
        ++expectedInterruptions;
        EXPECT_TRUE(diagnostics.waitForLine(QString::fromUtf8(c.logged)))
            << diagnostics.lines().join('\n').toStdString();
        EXPECT_TRUE(diagnostics.waitForLine(QStringLiteral("; dropping the peer")));
        EXPECT_TRUE(service.events.waitUntil([&] { return service.interruptions == expectedInterruptions; }));
        ASSERT_TRUE(echoWorks(name));
        ++expectedInterruptions; // the checking client has gone too
    }
}

TEST(XpcBadInput, DescriptorsThatNoFrameClaimsDropThePeer)
{
    DiagnosticsCapture diagnostics;
    const QString name = serviceName();
    EchoService service(name);
    const int socket = rawConnect(service.listener.socketPath());
    ASSERT_GE(socket, 0);
    ASSERT_TRUE(rawWrite(socket, XpcFrameEncoder::hello()));
    const QByteArray oneWay = frameBytes(callFrame(QStringLiteral("ignored:"), {}));
    for (size_t i = 0; i <= XpcConnectionCore::maximumUnclaimedDescriptors; ++i) {
        if (XpcSocket::send(socket, oneWay.constData(), static_cast<size_t>(oneWay.size()), STDERR_FILENO) <
            0)
            break; // already dropped
    }
    EXPECT_TRUE(diagnostics.waitForLine(QStringLiteral("descriptors that no frame claims")));
    EXPECT_TRUE(service.events.waitUntil([&] { return service.interruptions == 1; }));
    ::close(socket);
    EXPECT_TRUE(echoWorks(name));
}

// The same discipline on the client's side: a service that misbehaves is dropped, and the
// call waiting for it fails once.
TEST(XpcBadInput, AClientDropsAMisbehavingService)
{
    DiagnosticsCapture diagnostics;
    const QString name = serviceName();
    QString error;
    ASSERT_TRUE(XpcSocket::ensureRuntimeDirectory(&error));
    const QString path = XpcSocket::socketPath(name);
    const int listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    std::memcpy(address.sun_path, native.constData(), static_cast<size_t>(native.size()));
    ::unlink(native.constData());
    ASSERT_EQ(::bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listening, 1), 0);

    Events events;
    int interruptions = 0;
    std::vector<XpcError> errors;
    XpcConnection client(name);
    client.setInterruptionHandler([&] { events.update([&] { ++interruptions; }); });
    client.resume();
    client.call(
        {QStringLiteral("register:"), {}, {}}, [](const XpcArguments&) { ADD_FAILURE() << "a reply"; },
        [&](const XpcError& e) { events.update([&] { errors.push_back(e); }); });
    const int peer = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
    ASSERT_GE(peer, 0);
    XpcFrame strayReply;
    strayReply.kind = XpcFrameKind::Reply;
    strayReply.callId = 999;
    ASSERT_TRUE(rawWrite(peer, XpcFrameEncoder::hello() + frameBytes(strayReply) +
                                   XpcFrameEncoder::header(4, 0xFFFFFFF0)));
    EXPECT_TRUE(diagnostics.waitForLine(QStringLiteral("a reply to unknown call 999; ignored")));
    EXPECT_TRUE(diagnostics.waitForLine(QStringLiteral("Peer tried to send huge frame")));
    ASSERT_TRUE(events.waitUntil([&] { return interruptions == 1 && errors.size() == 1; }));
    EXPECT_EQ(errors[0].code, XpcError::Interrupted);
    EXPECT_TRUE(errors[0].description.contains(QLatin1String("huge frame")));
    ::close(peer);
    ::close(listening);
    ::unlink(native.constData());
}
