#include "platform/XpcConnection.h"

#include "XpcTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace XpcTest;

namespace {

// The peer helper in a process of its own; killed when the object goes.
class PeerProcess
{
public:
    explicit PeerProcess(const QString& serviceName)
    {
        int output[2];
        if (::pipe2(output, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        const QByteArray program = QByteArrayLiteral(NORVANE_BINARY_DIR "/tests/xpc_test_peer");
        const QByteArray name = serviceName.toUtf8();
        char* argv[] = {const_cast<char*>(program.constData()), const_cast<char*>(name.constData()), nullptr};
        if (posix_spawn(&m_pid, program.constData(), &actions, nullptr, argv, environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(output[1]);
        m_output = ::fdopen(output[0], "r");
    }
    ~PeerProcess()
    {
        kill();
        if (m_output)
            std::fclose(m_output);
    }
    // Blocks until the peer says it listens (or exits).
    bool waitUntilReady()
    {
        char line[64] = {};
        return m_pid > 0 && m_output && std::fgets(line, sizeof line, m_output) &&
               QByteArray(line) == "ready\n";
    }
    void kill()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    FILE* m_output = nullptr;
};

} // namespace

TEST(XpcPeerProcess, KilledPeerInterruptsAndFailsThePendingReplyOnce)
{
    const QString name = serviceName();
    auto peer = std::make_unique<PeerProcess>(name);
    ASSERT_TRUE(peer->waitUntilReady());
    const pid_t peerPid = peer->pid();

    Events events;
    int interruptions = 0;
    int invalidations = 0;
    int replies = 0;
    std::vector<XpcError> errors;
    XpcConnection client(name);
    client.setInterruptionHandler([&] { events.update([&] { ++interruptions; }); });
    client.setInvalidationHandler([&] { events.update([&] { ++invalidations; }); });
    client.resume();
    client.call(
        {QStringLiteral("echo:"), {XpcValue::fromInt32(1)}, {}},
        [&](const XpcArguments&) { events.update([&] { ++replies; }); },
        [&](const XpcError& e) { events.update([&] { errors.push_back(e); }); });
    ASSERT_TRUE(events.waitUntil([&] { return replies == 1; }));
    EXPECT_EQ(client.processIdentifier(), peerPid);

    // A file handed across a process boundary is read there.
    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
    ASSERT_EQ(::write(pipe[1], "from the parent", 15), 15);
    ::close(pipe[1]);
    QByteArray read;
    client.call(
        {QStringLiteral("read:"), {}, XpcFileDescriptor(pipe[0])},
        [&](const XpcArguments& r) { events.update([&] { read = r.value(0).toBytes(), ++replies; }); },
        [&](const XpcError& e) { events.update([&] { errors.push_back(e); }); });
    ASSERT_TRUE(events.waitUntil([&] { return replies == 2; }));
    EXPECT_EQ(read, QByteArray("from the parent"));

    client.call(
        {QStringLiteral("hold:"), {}, {}}, [&](const XpcArguments&) { events.update([&] { ++replies; }); },
        [&](const XpcError& e) { events.update([&] { errors.push_back(e); }); });
    // Once the peer holds the call (the echo behind it is answered), it dies.
    client.call(
        {QStringLiteral("echo:"), {}, {}}, [&](const XpcArguments&) { events.update([&] { ++replies; }); },
        nullptr);
    ASSERT_TRUE(events.waitUntil([&] { return replies == 3; }));
    peer->kill();
    ASSERT_TRUE(events.waitUntil([&] { return interruptions == 1 && errors.size() == 1; }));
    EXPECT_EQ(errors[0].code, XpcError::Interrupted);

    // A restarted peer takes over the name (its predecessor's socket file is stale) and a
    // new connection reaches it.
    peer = std::make_unique<PeerProcess>(name);
    ASSERT_TRUE(peer->waitUntilReady());
    XpcConnection again(name);
    again.resume();
    bool answered = false;
    again.call(
        {QStringLiteral("echo:"), {}, {}},
        [&](const XpcArguments&) { events.update([&] { answered = true; }); }, nullptr);
    ASSERT_TRUE(events.waitUntil([&] { return answered; }));
    EXPECT_EQ(again.processIdentifier(), peer->pid());

    client.invalidate();
    ASSERT_TRUE(events.waitUntil([&] { return invalidations == 1; }));
    EXPECT_EQ(interruptions, 1);
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(replies, 3);
}
