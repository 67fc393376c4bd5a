#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <optional>

// The real program, started from the built bundle with this test's HOME and XDG folders
// (TestEnvironment), offscreen, and short supervision intervals.
class RunningApp
{
public:
    explicit RunningApp(const QProcessEnvironment& extra = {}, const QString& executable = executablePath());
    ~RunningApp(); // SIGTERM, then SIGKILL

    bool isRunning() const;
    qint64 processId() const { return m_process.processId(); }
    // The exit code once the program ends within the timeout; nullopt otherwise or on a crash.
    std::optional<int> waitForExit(int milliseconds = 15000);
    QString output() const;

    static QString executablePath();
    static QString logPath(const QString& name); // <Library>/Logs/<name>-0.log
    // Until the log holds an entry containing the text (count times, at least).
    static bool waitForLogEntry(const QString& name, const QString& text, int count = 1, int milliseconds = 15000);
    static int countLogEntries(const QString& name, const QString& text);

private:
    mutable QProcess m_process;
};

// The extension process the program started: detached, as a system extension is, so the
// test ends it itself. Reads the pid file the program writes.
namespace StartedExtension {
std::optional<qint64> processId();
bool waitForProcess(int milliseconds = 15000, std::optional<qint64> other = std::nullopt);
void kill(int signal);
bool isRunning(qint64 pid);
} // namespace StartedExtension
