#include "platform/XpcConnection.h"
#include "platform/Deployment.h"
#include "platform/XpcListener.h"

#include "TestEnvironment.h"
#include "XpcTestSupport.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace XpcTest;

namespace {

// A listener in this process whose accepted connections all run one exported handler.
class Server
{
public:
    explicit Server(const QString& name, XpcExportedHandler handler) : listener(name)
    {
        listener.setShouldAcceptNewConnection(
            [this, handler](const std::shared_ptr<XpcConnection>& connection) {
                connection->setExportedHandler(handler);
                connection->setInterruptionHandler([this] { events.update([&] { ++interruptions; }); });
                connection->setInvalidationHandler([this] { events.update([&] { ++invalidations; }); });
                connection->resume();
                events.update([&] { accepted.push_back(connection); });
                return true;
            });
        EXPECT_TRUE(listener.resume()) << listener.errorString().toStdString();
    }
    // The invalidation handler is the last a connection runs: after it, nothing touches
    // this object any more.
    ~Server()
    {
        listener.invalidate();
        const auto connections = events.read([&] { return accepted; });
        for (auto& connection : connections)
            connection->invalidate();
        EXPECT_TRUE(events.waitUntil([&] { return invalidations == connections.size(); }));
    }

    Events events;
    std::vector<std::shared_ptr<XpcConnection>> accepted;
    int interruptions = 0;
    size_t invalidations = 0;
    XpcListener listener;
};

void echo(XpcInvocation invocation, XpcReplyBlock reply)
{
    reply(invocation.arguments);
}

// Waits for the answer of one call with a reply.
struct Answer
{
    Events events;
    std::optional<XpcArguments> reply;
    std::optional<XpcError> error;
    int calls = 0;

    void callOn(XpcConnection& connection, XpcInvocation invocation)
    {
        connection.call(
            std::move(invocation),
            [this](const XpcArguments& r) { events.update([&] { reply = r, ++calls; }); },
            [this](const XpcError& e) { events.update([&] { error = e, ++calls; }); });
    }
    bool wait()
    {
        return events.waitUntil([&] { return calls > 0; });
    }
};

QByteArray readAll(int descriptor)
{
    QByteArray content;
    char buffer[4096];
    ssize_t count;
    while ((count = ::read(descriptor, buffer, sizeof buffer)) > 0)
        content.append(buffer, count);
    return content;
}

} // namespace

TEST(XpcConnection, HandshakeAndCallWithReply)
{
    const QString name = serviceName();
    Server server(name, echo);
    XpcConnection client(name);
    client.resume();
    const XpcArguments arguments = {XpcValue::fromInt16(-3),
                                    XpcValue::fromInt32(70000),
                                    XpcValue::fromInt64(1LL << 40),
                                    XpcValue::fromBool(true),
                                    XpcValue::fromText(QStringLiteral("grüß")),
                                    XpcValue::fromBytes(QByteArray("\0\1\2", 3)),
                                    XpcValue::fromTextDictionary({{"request", "1"}}),
                                    XpcValue()};
    Answer answer;
    answer.callOn(client, {QStringLiteral("echo:"), arguments, {}});
    ASSERT_TRUE(answer.wait());
    ASSERT_TRUE(answer.reply.has_value()) << answer.error->description.toStdString();
    EXPECT_EQ(*answer.reply, arguments);
    EXPECT_EQ(client.processIdentifier(), ::getpid());
    ASSERT_TRUE(server.events.waitUntil([&] { return server.accepted.size() == 1; }));
    EXPECT_EQ(server.events.read([&] { return server.accepted[0]->processIdentifier(); }), ::getpid());

    // The socket sits in the runtime directory, which only this user may enter.
    EXPECT_EQ(server.listener.socketPath(),
              Deployment::runtimeDirectory() + QLatin1Char('/') + name + ".sock");
    struct stat status;
    ASSERT_EQ(::stat(QFile::encodeName(Deployment::runtimeDirectory()).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST(XpcConnection, OneWayCallsArriveInOrderOnOneThread)
{
    constexpr int count = 5000;
    Events events;
    std::vector<int> received;
    std::set<std::thread::id> threads;
    const QString name = serviceName();
    Server server(name, [&](XpcInvocation invocation, XpcReplyBlock reply) {
        EXPECT_FALSE(reply.isValid());
        events.update([&] {
            received.push_back(invocation.arguments.value(0).toInt32());
            threads.insert(std::this_thread::get_id());
        });
    });
    XpcConnection client(name);
    client.resume();
    for (int i = 0; i < count; ++i)
        client.call({QStringLiteral("receiveMessageWithId:data:fileHandle:"), {XpcValue::fromInt32(i)}, {}});
    ASSERT_TRUE(events.waitUntil([&] { return received.size() == count; }));
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(received[i], i);
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

TEST(XpcConnection, DescriptorsTravelBothWays)
{
    const QString dir = QFileInfo(Deployment::runtimeDirectory()).absolutePath();
    const QString name = serviceName();
    // The peer reads from a handed file, or writes into it, as the log export does.
    Server server(name, [](XpcInvocation invocation, XpcReplyBlock reply) {
        if (invocation.selector == QLatin1String("read:")) {
            ::lseek(invocation.fileDescriptor.get(), 0, SEEK_SET);
            reply({XpcValue::fromBytes(readAll(invocation.fileDescriptor.get()))});
        } else if (invocation.selector == QLatin1String("write:")) {
            const QByteArray text = invocation.arguments.value(0).toBytes();
            reply({XpcValue::fromBool(
                ::write(invocation.fileDescriptor.get(), text.constData(), text.size()) == text.size())});
        } else {
            reply({XpcValue::fromBool(invocation.fileDescriptor.isValid())});
        }
    });
    XpcConnection client(name);
    client.resume();

    const QString source = dir + QStringLiteral("/source.pem");
    QFile file(source);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("-----BEGIN CERTIFICATE-----\n");
    file.close();
    Answer read;
    read.callOn(client,
                {QStringLiteral("read:"),
                 {},
                 XpcFileDescriptor(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC))});
    ASSERT_TRUE(read.wait());
    ASSERT_TRUE(read.reply);
    EXPECT_EQ(read.reply->value(0).toBytes(), QByteArray("-----BEGIN CERTIFICATE-----\n"));

    const QString target = dir + QStringLiteral("/exported.log");
    const int out =
        ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    Answer write;
    write.callOn(
        client, {QStringLiteral("write:"), {XpcValue::fromBytes("extension log\n")}, XpcFileDescriptor(out)});
    ASSERT_TRUE(write.wait());
    ASSERT_TRUE(write.reply);
    EXPECT_TRUE(write.reply->value(0).toBool());
    QFile exported(target);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    EXPECT_EQ(exported.readAll(), QByteArray("extension log\n"));

    // A descriptor the handler leaves alone is closed: the pipe's reader then sees its end.
    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
    Answer ignored;
    ignored.callOn(client, {QStringLiteral("ignore:"), {}, XpcFileDescriptor(pipe[1])});
    ASSERT_TRUE(ignored.wait());
    ASSERT_TRUE(ignored.reply);
    EXPECT_TRUE(ignored.reply->value(0).toBool());
    EXPECT_EQ(readAll(pipe[0]), QByteArray());
    ::close(pipe[0]);
}

TEST(XpcConnection, SendsFromManyThreadsArriveIntact)
{
    constexpr int threadCount = 8;
    constexpr int callsPerThread = 200;
    const auto payload = [](int thread, int sequence) {
        // Sizes up to 256 KiB, beyond what the socket takes at once.
        const int size = (sequence * 7919 + thread * 104729) % (256 * 1024);
        return QByteArray(size, static_cast<char>('a' + (thread + sequence) % 26));
    };
    Events events;
    std::vector<int> next(threadCount, 0);
    int received = 0;
    int damaged = 0;
    int failed = 0;
    const QString name = serviceName();
    Server server(name, [&](XpcInvocation invocation, XpcReplyBlock) {
        const int thread = invocation.arguments.value(0).toInt32();
        const int sequence = invocation.arguments.value(1).toInt32();
        const bool intact = invocation.arguments.value(2).toBytes() == payload(thread, sequence);
        events.update([&] {
            if (!intact || thread < 0 || thread >= threadCount || next[thread] != sequence)
                ++damaged;
            else
                ++next[thread];
            ++received;
        });
    });
    XpcConnection client(name);
    client.resume();
    std::vector<std::thread> senders;
    for (int t = 0; t < threadCount; ++t) {
        senders.emplace_back([&, t] {
            for (int s = 0; s < callsPerThread; ++s)
                client.call(
                    {QStringLiteral("bulk:"),
                     {XpcValue::fromInt32(t), XpcValue::fromInt32(s), XpcValue::fromBytes(payload(t, s))},
                     {}},
                    [&](const XpcError&) { events.update([&] { ++failed; }); });
        });
    }
    for (auto& sender : senders)
        sender.join();
    // More than the link keeps in memory: the senders wait for room rather than fail.
    ASSERT_TRUE(events.waitUntil([&] { return received + failed == threadCount * callsPerThread; }, 60s));
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(damaged, 0);
}

TEST(XpcConnection, NoListenerReportsErrorAndInterruptionOnce)
{
    Events events;
    int interruptions = 0;
    int invalidations = 0;
    std::vector<XpcError> errors;
    XpcConnection client(serviceName());
    client.setInterruptionHandler([&] { events.update([&] { ++interruptions; }); });
    client.setInvalidationHandler([&] { events.update([&] { ++invalidations; }); });
    client.resume();
    client.call(
        {QStringLiteral("register:"), {}, {}}, [&](const XpcArguments&) { ADD_FAILURE() << "a reply"; },
        [&](const XpcError& e) { events.update([&] { errors.push_back(e); }); });
    ASSERT_TRUE(events.waitUntil([&] { return interruptions == 1 && errors.size() == 1; }));
    EXPECT_EQ(errors[0].code, XpcError::Interrupted);
    EXPECT_TRUE(
        errors[0].description.contains(QLatin1String("Couldn't connect to service named org.norvane.test.")))
        << errors[0].description.toStdString();

    // Dead from now on: later calls fail the same way, on the connection's thread.
    client.call({QStringLiteral("receiveMessageWithId:data:fileHandle:"), {}, {}},
                [&](const XpcError& e) { events.update([&] { errors.push_back(e); }); });
    ASSERT_TRUE(events.waitUntil([&] { return errors.size() == 2; }));
    EXPECT_EQ(errors[1].code, XpcError::Interrupted);
    client.invalidate();
    ASSERT_TRUE(events.waitUntil([&] { return invalidations == 1; }));
    EXPECT_EQ(interruptions, 1);
    EXPECT_EQ(errors.size(), 2u);
}

TEST(XpcConnection, InvalidateEndsPendingCallsOnce)
{
    const QString name = serviceName();
    Events held;
    std::vector<XpcReplyBlock> replies;
    Server server(
        name, [&](XpcInvocation, XpcReplyBlock reply) { held.update([&] { replies.push_back(reply); }); });
    Events events;
    int invalidations = 0;
    int interruptions = 0;
    std::vector<XpcError> errors;
    auto client = std::make_unique<XpcConnection>(name);
    client->setInvalidationHandler([&] { events.update([&] { ++invalidations; }); });
    client->setInterruptionHandler([&] { events.update([&] { ++interruptions; }); });
    client->resume();
    client->call(
        {QStringLiteral("hold:"), {}, {}}, [&](const XpcArguments&) { ADD_FAILURE() << "a reply"; },
        [&](const XpcError& e) { events.update([&] { errors.push_back(e); }); });
    ASSERT_TRUE(held.waitUntil([&] { return replies.size() == 1; }));
    client->invalidate();
    ASSERT_TRUE(events.waitUntil([&] { return invalidations == 1; }));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, XpcError::Invalidated);
    // A late answer goes nowhere, and a call after the end fails without a crash.
    held.read([&] { return replies[0]; })({XpcValue::fromBool(true)});
    client->call({QStringLiteral("x:"), {}, {}},
                 [&](const XpcError& e) { events.update([&] { errors.push_back(e); }); });
    ASSERT_TRUE(events.waitUntil([&] { return errors.size() == 2; }));
    EXPECT_EQ(errors[1].code, XpcError::Invalidated);
    client.reset();
    // The server's end sees the client go.
    ASSERT_TRUE(server.events.waitUntil([&] { return server.interruptions == 1; }));
    EXPECT_EQ(interruptions, 0);
}

TEST(XpcConnection, ReplyBlocksAnswerOnceFromAnyThread)
{
    DiagnosticsCapture diagnostics;
    const QString name = serviceName();
    Events threads;
    std::vector<std::thread> answering;
    Server server(name, [&](XpcInvocation invocation, XpcReplyBlock reply) {
        if (invocation.selector == QLatin1String("twice:")) {
            reply({XpcValue::fromInt32(1)});
            reply({XpcValue::fromInt32(2)});
        } else if (invocation.selector == QLatin1String("later:")) {
            threads.update([&] {
                answering.emplace_back([reply] { reply({XpcValue::fromText("from another thread")}); });
            });
        }
        // Anything else: the block is let go unanswered.
    });
    XpcConnection client(name);
    client.resume();

    Answer twice;
    twice.callOn(client, {QStringLiteral("twice:"), {}, {}});
    Answer later;
    later.callOn(client, {QStringLiteral("later:"), {}, {}});
    Answer dropped;
    dropped.callOn(client, {QStringLiteral("unknown:"), {}, {}});
    ASSERT_TRUE(twice.wait() && later.wait() && dropped.wait());
    ASSERT_TRUE(twice.reply);
    EXPECT_EQ(twice.reply->value(0).toInt32(), 1);
    EXPECT_TRUE(diagnostics.waitForLine(QStringLiteral("the reply to twice: was sent twice")));
    ASSERT_TRUE(later.reply);
    EXPECT_EQ(later.reply->value(0).toText(), QStringLiteral("from another thread"));
    ASSERT_TRUE(dropped.error);
    EXPECT_EQ(dropped.error->code, XpcError::ReplyInvalid);
    EXPECT_TRUE(dropped.error->description.contains(QLatin1String("did not answer unknown:")));
    // Each answered exactly once, even with the second reply in flight before these.
    Answer after;
    after.callOn(client, {QStringLiteral("later:"), {}, {}});
    ASSERT_TRUE(after.wait());
    EXPECT_EQ(twice.calls + later.calls + dropped.calls, 3);
    threads.update([&] {
        for (auto& thread : answering)
            thread.join();
    });
}

TEST(XpcConnection, CallsBeforeResumeAndRefusedCalls)
{
    const QString name = serviceName();
    Server server(name, echo);
    XpcConnection client(name);
    Answer early;
    early.callOn(client, {QStringLiteral("echo:"), {XpcValue::fromText("queued")}, {}});
    Answer oversized;
    oversized.callOn(
        client,
        {QStringLiteral("echo:"), {XpcValue::fromBytes(QByteArray(XpcWire::maximumBodyLength, 'x'))}, {}});
    Answer noSelector;
    noSelector.callOn(client, {QString(), {}, {}});
    client.resume();
    ASSERT_TRUE(early.wait() && oversized.wait() && noSelector.wait());
    ASSERT_TRUE(early.reply);
    EXPECT_EQ(early.reply->value(0).toText(), QStringLiteral("queued"));
    ASSERT_TRUE(oversized.error);
    EXPECT_EQ(oversized.error->code, XpcError::SendFailed);
    ASSERT_TRUE(noSelector.error);
    EXPECT_EQ(noSelector.error->code, XpcError::SendFailed);
    // Refused calls leave the connection working.
    Answer after;
    after.callOn(client, {QStringLiteral("echo:"), {XpcValue::fromBool(true)}, {}});
    ASSERT_TRUE(after.wait());
    EXPECT_TRUE(after.reply);
}

TEST(XpcListener, OneListenerPerNameAndItsSocketFileGoesWithIt)
{
    const QString name = serviceName();
    DiagnosticsCapture diagnostics;
    XpcListener first(name);
    ASSERT_TRUE(first.resume());
    XpcListener second(name);
    EXPECT_FALSE(second.resume());
    EXPECT_TRUE(second.errorString().contains(QLatin1String("another process is listening")));
    EXPECT_TRUE(diagnostics.waitForLine(QStringLiteral("XpcListener ") + name));
    first.invalidate();
    EXPECT_FALSE(QFile::exists(first.socketPath()));
    XpcListener third(name);
    EXPECT_TRUE(third.resume());
    EXPECT_TRUE(QFile::exists(third.socketPath()));

    XpcListener bad(QStringLiteral("../escape"));
    EXPECT_FALSE(bad.resume());
    EXPECT_TRUE(bad.errorString().contains(QLatin1String("not a valid service name")));
}

TEST(XpcListener, KeepsTheRuntimeDirectoryPrivate)
{
    const QByteArray original = qgetenv("NORVANE_RUNTIME_DIR");
    const QString root = TestEnvironment::root();
    // A directory left with loose permissions is tightened before the socket goes in.
    const QByteArray loose = QFile::encodeName(root + QStringLiteral("/loose"));
    ::mkdir(loose.constData(), 0777);
    ASSERT_EQ(::chmod(loose.constData(), 0777), 0);
    qputenv("NORVANE_RUNTIME_DIR", loose);
    XpcListener listener(serviceName());
    EXPECT_TRUE(listener.resume());
    struct stat status;
    ASSERT_EQ(::stat(loose.constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);

    // A link where the directory should be is refused, not followed.
    const QByteArray link = QFile::encodeName(root + QStringLiteral("/link"));
    ::unlink(link.constData());
    ASSERT_EQ(::symlink("/tmp", link.constData()), 0);
    qputenv("NORVANE_RUNTIME_DIR", link);
    XpcListener redirected(serviceName("b"));
    EXPECT_FALSE(redirected.resume());
    EXPECT_TRUE(redirected.errorString().contains(QLatin1String("not a directory of this user")));
    qputenv("NORVANE_RUNTIME_DIR", original);
}
