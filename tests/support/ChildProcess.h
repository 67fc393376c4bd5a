#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <sys/types.h>

// A program a test starts, with the few operations of QProcess the harness uses. It starts
// with fork and exec: QProcess starts children vfork-style (sharing this process's memory
// until exec), which ThreadSanitizer cannot follow and which corrupts its view of the
// starting thread, so every later report on that thread would be noise. The child gets
// SIGKILL when the test process dies.
class ChildProcess
{
public:
    enum class Channels { forwarded, forwardedErrors, merged }; // merged: read with readAll()
    enum State { NotRunning, Running };
    enum ExitStatus { NormalExit, CrashExit };

    ChildProcess() = default;
    ~ChildProcess(); // kills a child still running (its owner stops it properly first)
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void setProcessEnvironment(const QProcessEnvironment& environment) { m_environment = environment; }
    void setChannels(Channels channels) { m_channels = channels; }
    // Starts the program; false when it cannot be started.
    bool start(const QString& program, const QStringList& arguments);

    State state();
    qint64 processId() const { return m_pid; }
    void terminate();
    void kill();
    // Until the child has ended (true), or the timeout (false).
    bool waitForFinished(int milliseconds);
    ExitStatus exitStatus() const { return m_crashed ? CrashExit : NormalExit; }
    int exitCode() const { return m_exitCode; }

    // Captured standard output (forwardedErrors and merged): what has come so far.
    QByteArray readAll();
    // The next whole line, waiting for it up to the timeout; empty when none came.
    QByteArray readLine(int milliseconds);

private:
    bool reap(bool wait);
    void drainOutput();

    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    Channels m_channels = Channels::forwarded;
    pid_t m_pid = 0;
    bool m_running = false;
    bool m_crashed = false;
    int m_exitCode = 0;
    int m_output = -1;
    QByteArray m_buffer;
};
