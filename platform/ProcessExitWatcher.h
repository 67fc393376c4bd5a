#pragma once

#include <QObject>

class QSocketNotifier;
class QTimer;

// Tells when a process that is not our child has ended (exited or become a zombie).
// Uses a pidfd where the kernel has them, else looks at /proc every 20 ms.
class ProcessExitWatcher : public QObject
{
    Q_OBJECT
public:
    explicit ProcessExitWatcher(qint64 pid, QObject* parent = nullptr);
    ~ProcessExitWatcher() override;

    qint64 processId() const { return m_pid; }
    bool hasExited() const { return m_exited; }

signals:
    // Emitted once, from the event loop, also when the process had already ended.
    void exited();

private:
    void check();
    void finish();

    qint64 m_pid;
    quint64 m_startTime = 0;
    int m_pidFd = -1;
    bool m_exited = false;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_poll = nullptr;
};
