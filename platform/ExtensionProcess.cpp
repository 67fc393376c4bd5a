#include "platform/ExtensionProcess.h"

#include "platform/Deployment.h"
#include "platform/Diagnostics.h"
#include "platform/JsonFile.h"
#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString owner = QStringLiteral("ExtensionProcess");

QString errnoText(int error)
{
    return QString::fromLocal8Bit(strerror(error));
}

bool readAll(int fd, void* buffer, size_t size)
{
    auto* bytes = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = read(fd, bytes + done, size - done);
        if (n > 0)
            done += size_t(n);
        else if (n == 0 || errno != EINTR)
            return false;
    }
    return true;
}

// Runs in the forked children: async-signal-safe calls only.
[[noreturn]] void execExtension(const char* executable, char* const argv[], int inputFd, int outputFd, int errorPipe)
{
    dup2(inputFd, STDIN_FILENO);
    dup2(outputFd, STDOUT_FILENO);
    dup2(outputFd, STDERR_FILENO);
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        sigaction(sig, &defaults, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (chdir("/") != 0) {
    }
    // Descriptors the application opened without close-on-exec must not leak into it.
    syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC);
    execv(executable, argv);
    const int error = errno;
    if (write(errorPipe, &error, sizeof error) < 0) {
    }
    _exit(127);
}

} // namespace

ExtensionProcess::ExtensionProcess(QString identifier) : m_identifier(std::move(identifier)) {}

QString ExtensionProcess::pidFilePath() const
{
    return Deployment::runtimeDirectory() + QLatin1Char('/') + m_identifier + QStringLiteral(".pid");
}

QString ExtensionProcess::outputLogPath() const
{
    return Paths::libraryDirectory() + QStringLiteral("/Logs/") + m_identifier + QStringLiteral(".log");
}

std::optional<quint64> ExtensionProcess::processStartTime(qint64 pid)
{
    if (pid <= 0)
        return std::nullopt;
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray stat = file.readAll();
    // The command name in parentheses may hold spaces and ')'; the fields follow the last ')'.
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> fields = stat.mid(close + 1).simplified().split(' ');
    // fields[0] is the state (field 3 of proc(5)), fields[19] the start time (field 22).
    if (fields.size() < 20 || fields[0] == "Z" || fields[0] == "X" || fields[0] == "x")
        return std::nullopt;
    bool ok = false;
    const quint64 startTime = fields[19].toULongLong(&ok);
    return ok ? std::optional<quint64>(startTime) : std::nullopt;
}

std::optional<qint64> ExtensionProcess::runningProcessId() const
{
    const JsonFile::ReadResult record = JsonFile::read(pidFilePath(), owner);
    if (record.status != JsonFile::ReadResult::Status::loaded)
        return std::nullopt;
    const qint64 pid = record.object.value(QStringLiteral("pid")).toInteger();
    const QString recordedStart = record.object.value(QStringLiteral("startTime")).toString();
    const auto startTime = processStartTime(pid);
    if (!startTime || QString::number(*startTime) != recordedStart)
        return std::nullopt;
    return pid;
}

std::optional<QString> ExtensionProcess::start(const QString& executablePath) const
{
    const QFileInfo info(executablePath);
    if (!info.isFile() || !info.isExecutable())
        return executablePath + QStringLiteral(" is not an executable file");

    Paths::makePrivateDirectory(QFileInfo(outputLogPath()).absolutePath());
    const QString runtimeDir = Deployment::runtimeDirectory();
    if (!QDir(runtimeDir).exists()) {
        QDir().mkpath(runtimeDir);
        QFile::setPermissions(runtimeDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // Everything the children need is prepared here: after fork they may only make
    // async-signal-safe calls.
    QByteArray executable = QFile::encodeName(info.absoluteFilePath());
    char* const argv[] = {executable.data(), nullptr};
    const int inputFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    int outputFd = open(QFile::encodeName(outputLogPath()).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (outputFd < 0)
        outputFd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    int pidPipe[2] = {-1, -1};
    int errorPipe[2] = {-1, -1};
    const auto closeAll = [&] {
        for (int fd : {inputFd, outputFd, pidPipe[0], pidPipe[1], errorPipe[0], errorPipe[1]})
            if (fd >= 0)
                close(fd);
    };
    if (inputFd < 0 || outputFd < 0 || pipe2(pidPipe, O_CLOEXEC) != 0 || pipe2(errorPipe, O_CLOEXEC) != 0) {
        const QString text = QStringLiteral("cannot prepare the start: ") + errnoText(errno);
        closeAll();
        return text;
    }

    const pid_t middle = fork();
    if (middle == 0) {
        // A new session without a controlling terminal, then a second fork so that the
        // extension is nobody's child here and is never left a zombie of ours.
        setsid();
        const pid_t extension = fork();
        if (extension == 0)
            execExtension(executable.constData(), argv, inputFd, outputFd, errorPipe[1]);
        const int report[2] = {int(extension), extension < 0 ? errno : 0};
        if (write(pidPipe[1], report, sizeof report) < 0) {
        }
        _exit(0);
    }
    const int forkError = errno;
    close(pidPipe[1]);
    pidPipe[1] = -1;
    close(errorPipe[1]);
    errorPipe[1] = -1;
    if (middle < 0) {
        closeAll();
        return QStringLiteral("cannot fork: ") + errnoText(forkError);
    }
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int report[2] = {-1, 0};
    const bool gotPid = readAll(pidPipe[0], report, sizeof report);
    int execError = 0;
    // The pipe closes without data once the extension has exec'd.
    const bool execFailed = readAll(errorPipe[0], &execError, sizeof execError);
    closeAll();
    if (!gotPid || report[0] <= 0)
        return QStringLiteral("cannot fork: ") + errnoText(report[1]);
    if (execFailed)
        return QStringLiteral("cannot execute %1: %2").arg(executablePath, errnoText(execError));

    const qint64 pid = report[0];
    const auto startTime = processStartTime(pid);
    if (!startTime)
        return executablePath + QStringLiteral(" exited at once");
    const QJsonObject record{{QStringLiteral("pid"), pid},
                             {QStringLiteral("startTime"), QString::number(*startTime)},
                             {QStringLiteral("executable"), info.absoluteFilePath()}};
    QString writeError;
    if (!JsonFile::write(pidFilePath(), record, owner, &writeError)) {
        // Untracked it could never be stopped or found again: better not to leave it running.
        kill(pid_t(pid), SIGKILL);
        return QStringLiteral("cannot record the process: ") + writeError;
    }
    return std::nullopt;
}

bool ExtensionProcess::sendSignal(int signalNumber) const
{
    const auto pid = runningProcessId();
    if (!pid)
        return false;
    if (kill(pid_t(*pid), signalNumber) != 0) {
        Diagnostics::report(QStringLiteral("ExtensionProcess: cannot signal %1 (pid %2): %3")
                                .arg(m_identifier)
                                .arg(*pid)
                                .arg(errnoText(errno)));
        return false;
    }
    return true;
}

void ExtensionProcess::removePidFile() const
{
    QFile::remove(pidFilePath());
}
