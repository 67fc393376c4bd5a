#include "platform/CommandRunner.h"

#include "platform/Diagnostics.h"

#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <thread>
#include <csignal>
#include <cstring>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
std::mutex runnerMutex;
std::shared_ptr<CommandRunner>& runnerSlot()
{
    static std::shared_ptr<CommandRunner> runner = std::make_shared<BashCommandRunner>();
    return runner;
}

// Reaps children started without waiting, so they don't linger as zombies.
void reapLater(pid_t pid)
{
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}
} // namespace

std::shared_ptr<CommandRunner> CommandRunner::shared()
{
    std::lock_guard lock(runnerMutex);
    return runnerSlot();
}

void CommandRunner::setShared(std::shared_ptr<CommandRunner> runner)
{
    std::lock_guard lock(runnerMutex);
    runnerSlot() = runner ? std::move(runner) : std::make_shared<BashCommandRunner>();
}

QString BashCommandRunner::run(const QString& commandLine, bool wait)
{
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        Diagnostics::report(QStringLiteral("CommandRunner: pipe failed: %1").arg(QString::fromLocal8Bit(strerror(errno))));
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    const QByteArray command = commandLine.toUtf8();
    char bash[] = "/bin/bash";
    char dashC[] = "-c";
    char* argv[] = {bash, dashC, const_cast<char*>(command.constData()), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, bash, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (rc != 0) {
        close(pipeFds[0]);
        Diagnostics::report(QStringLiteral("CommandRunner: cannot start /bin/bash: %1").arg(QString::fromLocal8Bit(strerror(rc))));
        return {};
    }
    if (!wait) {
        close(pipeFds[0]);
        reapLater(pid);
        return {};
    }
    QByteArray output;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n > 0) {
            output.append(buffer, n);
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(pipeFds[0]);
    reapLater(pid);
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(output);
    return decoder.hasError() ? QString() : text;
}

QString shellQuoted(const QString& value)
{
    QString quoted = value;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}
