#include "SignalWatcher.h"

#include <QSocketNotifier>

#include <csignal>

#include <sys/signalfd.h>
#include <unistd.h>

namespace {
sigset_t watchedSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}
} // namespace

void SignalWatcher::blockSignals()
{
    const sigset_t set = watchedSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalWatcher::SignalWatcher(std::function<void(int)> handler)
{
    const sigset_t set = watchedSignals();
    m_descriptor = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (m_descriptor < 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_descriptor, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [descriptor = m_descriptor, handler = std::move(handler)] {
                         signalfd_siginfo info;
                         while (::read(descriptor, &info, sizeof info) == ssize_t(sizeof info))
                             handler(int(info.ssi_signo));
                     });
}

SignalWatcher::~SignalWatcher()
{
    m_notifier.reset();
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}
