#include "ChildProcess.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

ChildProcess::~ChildProcess()
{
    if (state() == Running) {
        kill();
        waitForFinished(5000);
    }
    if (m_output >= 0)
        ::close(m_output);
}

bool ChildProcess::start(const QString& program, const QStringList& arguments)
{
    int pipeFds[2] = {-1, -1};
    const bool capture = m_channels != Channels::forwarded;
    if (capture && ::pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;
    std::vector<QByteArray> argumentBytes{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        argumentBytes.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& argument : argumentBytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> environmentBytes;
    for (const QString& entry : m_environment.toStringList())
        environmentBytes.push_back(entry.toLocal8Bit());
    std::vector<char*> envp;
    for (QByteArray& entry : environmentBytes)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    const Channels channels = m_channels;

    // Everything the child needs is ready: after fork it only makes async-signal-safe calls.
    const pid_t pid = ::fork();
    if (pid == 0) {
        // A test that crashes must not leave its child behind (holding ctest's output pipe).
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (capture) {
            ::dup2(pipeFds[1], STDOUT_FILENO);
            if (channels == Channels::merged)
                ::dup2(pipeFds[1], STDERR_FILENO);
        }
        ::execve(argv.front(), argv.data(), envp.data());
        ::_exit(127);
    }
    const int result = pid > 0 ? 0 : errno;
    m_pid = pid > 0 ? pid : 0;
    if (capture) {
        ::close(pipeFds[1]);
        if (result == 0) {
            m_output = pipeFds[0];
            ::fcntl(m_output, F_SETFL, ::fcntl(m_output, F_GETFL) | O_NONBLOCK);
        } else {
            ::close(pipeFds[0]);
        }
    }
    m_running = result == 0;
    if (!m_running)
        m_pid = 0;
    return m_running;
}

bool ChildProcess::reap(bool wait)
{
    if (!m_running)
        return true;
    int status = 0;
    pid_t done;
    while ((done = ::waitpid(m_pid, &status, wait ? 0 : WNOHANG)) < 0 && errno == EINTR) {
    }
    if (done != m_pid)
        return false;
    m_running = false;
    m_crashed = !WIFEXITED(status);
    m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

ChildProcess::State ChildProcess::state()
{
    reap(false);
    return m_running ? Running : NotRunning;
}

void ChildProcess::terminate()
{
    if (state() == Running)
        ::kill(m_pid, SIGTERM);
}

void ChildProcess::kill()
{
    if (state() == Running)
        ::kill(m_pid, SIGKILL);
}

bool ChildProcess::waitForFinished(int milliseconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!reap(false)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        drainOutput(); // a child blocked on a full pipe would never end
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    drainOutput();
    return true;
}

void ChildProcess::drainOutput()
{
    if (m_output < 0)
        return;
    char chunk[4096];
    for (;;) {
        const ssize_t count = ::read(m_output, chunk, sizeof chunk);
        if (count > 0) {
            m_buffer.append(chunk, count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        return;
    }
}

QByteArray ChildProcess::readAll()
{
    drainOutput();
    return std::exchange(m_buffer, QByteArray());
}

QByteArray ChildProcess::readLine(int milliseconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        drainOutput();
        const qsizetype end = m_buffer.indexOf('\n');
        if (end >= 0) {
            const QByteArray line = m_buffer.left(end + 1);
            m_buffer.remove(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || m_output < 0)
            return {};
        pollfd descriptor{m_output, POLLIN, 0};
        if (::poll(&descriptor, 1, int(left.count())) > 0 && !(descriptor.revents & POLLIN))
            return {}; // closed without a line

    }
}
