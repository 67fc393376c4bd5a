#pragma once

#include <QString>

#include <optional>

// The process of a system extension, known by the extension's bundle identifier. It is
// started detached in a session of its own, so that it outlives the application as a
// system extension would, and it is found again through a pid file in the runtime
// directory that names the process id and the process's start time (a pid the kernel
// has handed to another process since does not count).
class ExtensionProcess
{
public:
    explicit ExtensionProcess(QString identifier);

    QString identifier() const { return m_identifier; }
    // <runtime directory>/<identifier>.pid
    QString pidFilePath() const;
    // Where the extension's standard output and error go: <Library>/Logs/<identifier>.log
    QString outputLogPath() const;

    // The process id while the recorded process runs (not ended, not a zombie).
    std::optional<qint64> runningProcessId() const;
    bool isRunning() const { return runningProcessId().has_value(); }

    // Starts the executable with no arguments; its standard input is /dev/null. Returns the
    // failure text, or nothing once the process runs and its pid file is written.
    std::optional<QString> start(const QString& executablePath) const;
    // Sends the signal to the recorded process when it runs; false when it does not run or
    // the signal cannot be sent.
    bool sendSignal(int signalNumber) const;
    void removePidFile() const;

    // The start time (clock ticks after boot) of a live process; nothing for a process that
    // has ended or is a zombie.
    static std::optional<quint64> processStartTime(qint64 pid);

private:
    QString m_identifier;
};
