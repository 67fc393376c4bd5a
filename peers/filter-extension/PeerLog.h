#pragma once

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <mutex>

// The stand-in's own log. Each line goes to standard error, which the application appends
// to the extension's log file, and the latest lines stay in memory for CopyLogMessage.
// Any thread.
class PeerLog
{
public:
    static constexpr qsizetype maximumLines = 2000;

    // Never destroyed: connection threads may still write while the process ends.
    static PeerLog& shared();

    void write(const QString& line);
    // The kept lines, oldest first, each with its time.
    QStringList lines() const;
    // Runs after each line, on the writing thread.
    void setWriteHandler(std::function<void()> handler);

private:
    PeerLog() = default;

    mutable std::mutex m_mutex;
    std::deque<QString> m_lines;
    std::function<void()> m_written;
};

inline void peerLog(const QString& line)
{
    PeerLog::shared().write(line);
}
