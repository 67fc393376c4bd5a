#include "platform/CrashReporter.h"
#include "platform/Deployment.h"

#include "PlatformTestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

using namespace PlatformTest;

namespace {
const QString publicKey = QStringLiteral("0123456789abcdef0123456789abcdef");
const QString secretKey = QStringLiteral("fedcba9876543210fedcba9876543210");
const QString validDsn = QStringLiteral("https://") + publicKey + QLatin1Char(':') + secretKey + QStringLiteral("@o1.ingest.example.io/42");

// Forks a child that starts the reporter and dies by the given signal; returns the wait status.
int crashChild(int sig)
{
    const pid_t child = fork();
    if (child == 0) {
        if (!CrashReporter::start(validDsn))
            _exit(3);
        if (sig == SIGABRT)
            std::abort();
        raise(sig);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

QStringList crashRecords()
{
    return QDir(CrashReporter::crashDirectory()).entryList({QStringLiteral("crash-*.log")}, QDir::Files);
}
} // namespace

TEST(CrashReporter, DsnValidation)
{
    const struct
    {
        QString dsn;
        bool valid;
    } cases[] = {
        {validDsn, true},
        {Deployment::sentryDsn(), true},
        {QStringLiteral("https://") + publicKey + QLatin1Char(':') + secretKey + QStringLiteral("@sentry.example.com:8443/7"), true},
        {QStringLiteral("http://") + publicKey + QLatin1Char(':') + secretKey + QStringLiteral("@o1.example.io/42"), false},
        {QStringLiteral("https://") + publicKey + QStringLiteral("@o1.example.io/42"), false},
        {QStringLiteral("https://") + publicKey.toUpper() + QLatin1Char(':') + secretKey + QStringLiteral("@o1.example.io/42"), false},
        {QStringLiteral("https://") + publicKey.left(31) + QLatin1Char(':') + secretKey + QStringLiteral("@o1.example.io/42"), false},
        {QStringLiteral("https://") + publicKey + QLatin1Char('0') + QLatin1Char(':') + secretKey + QStringLiteral("@o1.example.io/42"), false},
        {QStringLiteral("https://") + publicKey + QLatin1Char(':') + QStringLiteral("g") + secretKey.mid(1) + QStringLiteral("@o1.example.io/42"), false},
        {QStringLiteral("https://") + publicKey + QLatin1Char(':') + secretKey + QStringLiteral("@/42"), false},
        {QStringLiteral("https://") + publicKey + QLatin1Char(':') + secretKey + QStringLiteral("@o1.example.io"), false},
        {QStringLiteral("https://") + publicKey + QLatin1Char(':') + secretKey + QStringLiteral("@o1.example.io/project"), false},
        {QStringLiteral("https://") + publicKey + QLatin1Char(':') + secretKey + QStringLiteral("@o1.example.io/42\n"), false},
        {QStringLiteral(" ") + validDsn, false},
        {QString(), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CrashReporter::isValidDsn(c.dsn), c.valid) << c.dsn.toStdString();
}

TEST(CrashReporter, AnInvalidDsnStartsNothingAndKeepsTheSecretOutOfTheLog)
{
    DiagnosticsCapture diagnostics;
    struct sigaction before {};
    sigaction(SIGSEGV, nullptr, &before);
    const QString leaky = QStringLiteral("https://") + publicKey + QLatin1Char(':') + secretKey + QStringLiteral("@host");
    EXPECT_FALSE(CrashReporter::start(leaky));
    EXPECT_FALSE(CrashReporter::isStarted());
    ASSERT_EQ(diagnostics.lines().size(), 1);
    EXPECT_FALSE(diagnostics.lines()[0].contains(secretKey));

    struct sigaction after {};
    sigaction(SIGSEGV, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

TEST(CrashReporter, AFatalSignalWritesARecordAndStillKillsTheProcess)
{
    for (int sig : {SIGSEGV, SIGABRT, SIGFPE}) {
        SCOPED_TRACE(sig);
        QDir(CrashReporter::crashDirectory()).removeRecursively();
        const int status = crashChild(sig);
#if defined(__SANITIZE_ADDRESS__)
        // The sanitizer's own handler, which ours hands the signal on to, reports and exits.
        EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 3));
#else
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(WTERMSIG(status), sig);
#endif
        const QStringList records = crashRecords();
        ASSERT_EQ(records.size(), 1);
        const QString record = TestEnvironment::readFile(CrashReporter::crashDirectory() + QLatin1Char('/') + records[0]);
        const char* name = sig == SIGSEGV ? "SIGSEGV" : sig == SIGABRT ? "SIGABRT" : "SIGFPE";
        EXPECT_TRUE(record.startsWith(QStringLiteral("Norvane crash record\n"))) << record.toStdString();
        EXPECT_TRUE(record.contains(QStringLiteral("signal: %1 (%2)\n").arg(sig).arg(QLatin1String(name)))) << record.toStdString();
        EXPECT_TRUE(record.contains(QStringLiteral("executable: ") + QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))));
        // The file name carries the child's pid, the record too.
        const QString pid = records[0].section(QLatin1Char('-'), 2).section(QLatin1Char('.'), 0, 0);
        EXPECT_TRUE(record.contains(QStringLiteral("pid: ") + pid + QLatin1Char('\n')));
    }
}

TEST(CrashReporter, StartingTwiceInstallsOnce)
{
    // A second start must not chain the handler to itself (the signal would never get out).
    const pid_t child = fork();
    if (child == 0) {
        if (!CrashReporter::start(validDsn) || !CrashReporter::start(validDsn))
            _exit(3);
        raise(SIGBUS);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_FALSE(WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 3));
    EXPECT_EQ(crashRecords().size(), 1);
}
