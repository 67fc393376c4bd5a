#include "platform/ProcessExitWatcher.h"

#include "platform/ExtensionProcess.h"

#include <QSocketNotifier>
#include <QTimer>

#include <sys/syscall.h>
#include <unistd.h>

ProcessExitWatcher::ProcessExitWatcher(qint64 pid, QObject* parent) : QObject(parent), m_pid(pid)
{
    const auto startTime = ExtensionProcess::processStartTime(pid);
    if (!startTime) {
        QTimer::singleShot(0, this, &ProcessExitWatcher::finish);
        return;
    }
    m_startTime = *startTime;
#ifdef SYS_pidfd_open
    m_pidFd = int(syscall(SYS_pidfd_open, pid_t(pid), 0));
#endif
    if (m_pidFd >= 0) {
        // The pid could have been reused between the look at /proc and the open.
        if (ExtensionProcess::processStartTime(pid) != m_startTime) {
            QTimer::singleShot(0, this, &ProcessExitWatcher::finish);
            return;
        }
        m_notifier = new QSocketNotifier(qintptr(m_pidFd), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &ProcessExitWatcher::finish);
        return;
    }
    m_poll = new QTimer(this);
    m_poll->setInterval(20);
    connect(m_poll, &QTimer::timeout, this, &ProcessExitWatcher::check);
    m_poll->start();
}

ProcessExitWatcher::~ProcessExitWatcher()
{
    delete m_notifier;
    if (m_pidFd >= 0)
        close(m_pidFd);
}

void ProcessExitWatcher::check()
{
    if (ExtensionProcess::processStartTime(m_pid) != m_startTime)
        finish();
}

void ProcessExitWatcher::finish()
{
    if (m_exited)
        return;
    m_exited = true;
    if (m_notifier)
        m_notifier->setEnabled(false);
    if (m_poll)
        m_poll->stop();
    emit exited();
}
