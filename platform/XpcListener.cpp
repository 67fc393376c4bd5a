#include "platform/XpcListener.h"

#include "platform/Diagnostics.h"
#include "platform/XpcConnectionCore.h"
#include "platform/XpcSocket.h"

#include <QFile>

#include <mutex>
#include <thread>

#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

struct XpcListener::Core : std::enable_shared_from_this<Core>
{
    QString serviceName;
    int wake = XpcSocket::createWakeDescriptor();

    mutable std::mutex mutex;
    ShouldAcceptNewConnection shouldAccept;
    QString path;
    QString error;
    int socket = -1;
    dev_t device = 0;
    ino_t inode = 0;
    bool resumed = false;
    bool invalidated = false;
    std::thread thread;

    ~Core()
    {
        if (thread.joinable()) {
            if (thread.get_id() == std::this_thread::get_id())
                thread.detach();
            else
                thread.join();
        }
        if (socket >= 0)
            ::close(socket);
        ::close(wake);
    }

    void run()
    {
        for (;;) {
            int listening;
            {
                std::lock_guard lock(mutex);
                if (invalidated)
                    return;
                listening = socket;
            }
            pollfd descriptors[2] = {{wake, POLLIN, 0}, {listening, POLLIN, 0}};
            if (::poll(descriptors, 2, -1) < 0)
                continue;
            if (descriptors[0].revents != 0)
                XpcSocket::drainWake(wake);
            if (descriptors[1].revents != 0)
                acceptPending(listening);
        }
    }

    void acceptPending(int listening)
    {
        for (;;) {
            const int peer = XpcSocket::acceptFrom(listening);
            if (peer < 0)
                return;
            pid_t pid = 0;
            uid_t uid = 0;
            if (!XpcSocket::peerCredentials(peer, &pid, &uid) || uid != ::getuid()) {
                Diagnostics::report(
                    QStringLiteral("XpcListener %1: refused a peer of another user (pid %2, uid %3)")
                        .arg(serviceName)
                        .arg(pid)
                        .arg(uid));
                ::close(peer);
                continue;
            }
            ShouldAcceptNewConnection handler;
            {
                std::lock_guard lock(mutex);
                if (invalidated) {
                    ::close(peer);
                    return;
                }
                handler = shouldAccept;
            }
            auto connection = std::shared_ptr<XpcConnection>(
                new XpcConnection(XpcConnectionCore::accepted(serviceName, peer, pid)));
            if (!handler || !handler(connection))
                connection->invalidate();
        }
    }

    // The socket file is ours only while it is the one we bound: a newer listener may have
    // replaced it after this one was found stale.
    void removeSocketFileLocked()
    {
        const QByteArray native = QFile::encodeName(path);
        struct stat status;
        if (!path.isEmpty() && ::lstat(native.constData(), &status) == 0 && status.st_dev == device &&
            status.st_ino == inode)
            ::unlink(native.constData());
    }
};

XpcListener::XpcListener(const QString& serviceName) : m_core(std::make_shared<Core>())
{
    m_core->serviceName = serviceName;
}

XpcListener::~XpcListener()
{
    invalidate();
}

QString XpcListener::serviceName() const
{
    return m_core->serviceName;
}

QString XpcListener::socketPath() const
{
    std::lock_guard lock(m_core->mutex);
    return m_core->path.isEmpty() ? XpcSocket::socketPath(m_core->serviceName) : m_core->path;
}

void XpcListener::setShouldAcceptNewConnection(ShouldAcceptNewConnection handler)
{
    std::lock_guard lock(m_core->mutex);
    if (!m_core->invalidated)
        std::swap(m_core->shouldAccept, handler);
}

bool XpcListener::resume()
{
    Core& core = *m_core;
    const Diagnostics::Deferral reportsAfterUnlock;
    std::lock_guard lock(core.mutex);
    if (core.resumed || core.invalidated)
        return core.resumed && !core.invalidated;
    QString error;
    const QString path = XpcSocket::socketPath(core.serviceName, &error);
    const int socket = path.isEmpty() ? -1 : XpcSocket::listenOn(path, &error);
    struct stat status;
    if (socket < 0 || ::lstat(QFile::encodeName(path).constData(), &status) != 0) {
        if (socket >= 0)
            ::close(socket);
        core.error = error;
        Diagnostics::report(QStringLiteral("XpcListener %1: %2").arg(core.serviceName, error));
        return false;
    }
    core.path = path;
    core.socket = socket;
    core.device = status.st_dev;
    core.inode = status.st_ino;
    core.resumed = true;
    core.thread = std::thread([self = m_core]() mutable {
        self->run();
        self.reset();
    });
    pthread_setname_np(core.thread.native_handle(),
                       ("xpcl " + core.serviceName).left(15).toUtf8().constData());
    return true;
}

void XpcListener::invalidate()
{
    ShouldAcceptNewConnection released; // let go after the lock
    std::lock_guard lock(m_core->mutex);
    if (m_core->invalidated)
        return;
    m_core->invalidated = true;
    m_core->removeSocketFileLocked();
    std::swap(m_core->shouldAccept, released);
    XpcSocket::wake(m_core->wake);
}

QString XpcListener::errorString() const
{
    std::lock_guard lock(m_core->mutex);
    return m_core->error;
}
