#pragma once

#include "ChildProcess.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <optional>

// The real program, started from the built bundle with this test's HOME and XDG folders
// (TestEnvironment), offscreen, and short supervision intervals.
class RunningApp
{
public:
    // How long the program may take to end by itself after SIGTERM or a DisableMessage.
    static constexpr int stopTimeoutMs = 10000;

    explicit RunningApp(const QProcessEnvironment& extra = {}, const QString& executable = executablePath());
    // SIGTERM when still running. A program that does not end by itself within
    // stopTimeoutMs fails the test (it is killed then, so that nothing is left behind).
    ~RunningApp();

    bool isRunning() const;
    qint64 processId() const { return m_process.processId(); }
    // The exit code once the program ends within the timeout; nullopt otherwise or on a crash.
    std::optional<int> waitForExit(int milliseconds = 15000);
    // SIGTERM, then its exit code; nullopt (and a test failure) when it does not end by itself.
    std::optional<int> terminate();
    QString output() const;

    static QString executablePath();
    static QString logPath(const QString& name); // <Library>/Logs/<name>-0.log
    // Until the log holds an entry containing the text (count times, at least).
    static bool waitForLogEntry(const QString& name, const QString& text, int count = 1, int milliseconds = 15000);
    static int countLogEntries(const QString& name, const QString& text);

private:
    mutable ChildProcess m_process;
    mutable QByteArray m_output;
};

// The extension process the program started: detached, as a system extension is, so the
// test ends it itself. Reads the pid file the program writes.
namespace StartedExtension {
std::optional<qint64> processId();
bool waitForProcess(int milliseconds = 15000, std::optional<qint64> other = std::nullopt);
void kill(int signal);
bool isRunning(qint64 pid);
// SIGTERM to a running extension; a test failure (then SIGKILL) when it does not end by itself.
void terminate();
} // namespace StartedExtension
