#include "platform/CrashReporter.h"

#include "platform/Diagnostics.h"
#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int fatalSignals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGILL, SIGFPE};

// Everything the handler reads is prepared by start(): it may not allocate.
char crashDir[PATH_MAX];
char executable[PATH_MAX];
struct sigaction previousActions[NSIG];
std::atomic<bool> started{false};
std::mutex startMutex;

const char* signalName(int sig)
{
    switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGABRT: return "SIGABRT";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    default: return "?";
    }
}

// A fixed buffer that the handler appends to without allocating.
struct Text
{
    char data[PATH_MAX + 512];
    size_t length = 0;

    void append(const char* text)
    {
        while (*text && length < sizeof data - 1)
            data[length++] = *text++;
    }
    void appendNumber(unsigned long long value, unsigned base = 10)
    {
        char digits[24];
        int count = 0;
        do {
            digits[count++] = "0123456789abcdef"[value % base];
            value /= base;
        } while (value && count < 24);
        while (count && length < sizeof data - 1)
            data[length++] = digits[--count];
    }
    void appendSigned(long long value)
    {
        if (value < 0) {
            append("-");
            appendNumber(0ULL - static_cast<unsigned long long>(value));
        } else {
            appendNumber(static_cast<unsigned long long>(value));
        }
    }
    const char* c_str()
    {
        data[length] = '\0';
        return data;
    }
};

void writeRecord(int sig, const siginfo_t* info)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const pid_t pid = getpid();

    Text path;
    path.append(crashDir);
    path.append("/crash-");
    path.appendNumber(static_cast<unsigned long long>(now.tv_sec));
    path.append("-");
    path.appendNumber(static_cast<unsigned long long>(pid));
    path.append(".log");
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return;

    Text record;
    record.append("Norvane crash record\nsignal: ");
    record.appendNumber(static_cast<unsigned long long>(sig));
    record.append(" (");
    record.append(signalName(sig));
    record.append(")\ncode: ");
    record.appendSigned(info ? info->si_code : 0);
    record.append("\naddress: 0x");
    record.appendNumber(info ? reinterpret_cast<unsigned long long>(info->si_addr) : 0ULL, 16);
    record.append("\npid: ");
    record.appendNumber(static_cast<unsigned long long>(pid));
    record.append("\ntime: ");
    record.appendNumber(static_cast<unsigned long long>(now.tv_sec));
    record.append("\nexecutable: ");
    record.append(executable);
    record.append("\n");
    size_t written = 0;
    while (written < record.length) {
        const ssize_t n = write(fd, record.data + written, record.length - written);
        if (n > 0)
            written += size_t(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    close(fd);
}

void onFatalSignal(int sig, siginfo_t* info, void*)
{
    const int savedErrno = errno;
    writeRecord(sig, info);
    // Hand the signal on: to whoever handled it before us, else to the default action.
    struct sigaction next = previousActions[sig];
    if (next.sa_handler == SIG_IGN) {
        next = {};
        next.sa_handler = SIG_DFL;
    }
    sigaction(sig, &next, nullptr);
    errno = savedErrno;
    // Blocked while this handler runs; delivered when it returns. A fault re-runs the
    // faulting instruction, which faults again into the handler restored above.
    raise(sig);
}

void installAlternateStack()
{
    // A stack overflow leaves no stack for the handler; give it one of its own.
    static char* stack = nullptr;
    if (stack)
        return;
    const size_t size = 64 * 1024;
    stack = new char[size];
    stack_t alternate{};
    alternate.ss_sp = stack;
    alternate.ss_size = size;
    sigaltstack(&alternate, nullptr);
}

} // namespace

bool CrashReporter::isValidDsn(const QString& dsn)
{
    // Anchored to the whole text: "$" alone would let a trailing line feed through.
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral(
        "https://[0-9a-f]{32}:[0-9a-f]{32}@[A-Za-z0-9](?:[A-Za-z0-9.-]*[A-Za-z0-9])?(?::[0-9]{1,5})?/[0-9]+")));
    return pattern.match(dsn).hasMatch();
}

bool CrashReporter::isStarted()
{
    return started;
}

QString CrashReporter::crashDirectory()
{
    return Paths::libraryDirectory() + QStringLiteral("/Logs");
}

bool CrashReporter::start(const QString& dsn)
{
    // The DSN holds a secret key: it never goes into a log line.
    if (!isValidDsn(dsn)) {
        Diagnostics::report(QStringLiteral("CrashReporter: the DSN is not valid; crash reports are off"));
        return false;
    }
    std::lock_guard lock(startMutex);
    if (started)
        return true;
    const QString dir = crashDirectory();
    Paths::makePrivateDirectory(dir);
    const QByteArray dirBytes = QFile::encodeName(dir);
    const QByteArray exeBytes = QFile::encodeName(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")));
    if (size_t(dirBytes.size()) >= sizeof crashDir - 64) {
        Diagnostics::report(QStringLiteral("CrashReporter: the log folder path is too long; crash reports are off"));
        return false;
    }
    std::memcpy(crashDir, dirBytes.constData(), size_t(dirBytes.size()) + 1);
    std::strncpy(executable, exeBytes.constData(), sizeof executable - 1);

    installAlternateStack();
    for (int sig : fatalSignals) {
        struct sigaction action {};
        action.sa_sigaction = onFatalSignal;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        sigaction(sig, &action, &previousActions[sig]);
    }
    started = true;
    return true;
}
