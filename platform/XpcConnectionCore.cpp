#include "platform/XpcConnectionCore.h"

#include "platform/Diagnostics.h"
#include "platform/SerialQueue.h"
#include "platform/XpcFrameEncoder.h"
#include "platform/XpcSocket.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

// The connection's life: creation, handlers, resume and invalidation, its thread's loop,
// connecting, loss and the end. Reading frames is in XpcConnectionReader.cpp, the send
// queue and the calls in XpcConnectionSend.cpp.

namespace {

// Invalidated connections whose thread has not yet run its last handlers.
struct Finishing
{
    std::mutex mutex;
    std::condition_variable done;
    int count = 0;
};
Finishing& finishing()
{
    static Finishing* instance = new Finishing; // never destroyed: threads may outlive main
    return *instance;
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

// Error handlers of calls made after invalidation run here: the connection's thread is gone
// and the caller's thread may hold locks the handler takes. Never destroyed, so it outlives
// every connection.
SerialQueue& XpcConnectionCore::lateErrors()
{
    static SerialQueue* queue = new SerialQueue(QStringLiteral("xpc errors"));
    return *queue;
}

std::shared_ptr<XpcConnectionCore> XpcConnectionCore::client(const QString& serviceName)
{
    return std::shared_ptr<XpcConnectionCore>(new XpcConnectionCore(serviceName, true, -1, 0));
}

std::shared_ptr<XpcConnectionCore> XpcConnectionCore::accepted(const QString& serviceName, int socket,
                                                               pid_t peer)
{
    return std::shared_ptr<XpcConnectionCore>(new XpcConnectionCore(serviceName, false, socket, peer));
}

XpcConnectionCore::XpcConnectionCore(const QString& serviceName, bool isClient, int socket, pid_t peer)
    : m_serviceName(serviceName), m_isClient(isClient), m_wake(XpcSocket::createWakeDescriptor()),
      m_peerPid(peer), m_socket(socket)
{
    // Our handshake goes first whatever is sent before resume().
    enqueueLocked(XpcFrameEncoder::hello(), XpcFileDescriptor(), nullptr);
}

XpcConnectionCore::~XpcConnectionCore()
{
    if (m_thread.joinable()) {
        // The thread lets go of the state as its last act, so joining it never waits long.
        if (m_thread.get_id() == std::this_thread::get_id())
            m_thread.detach();
        else
            m_thread.join();
    }
    if (m_socket >= 0)
        ::close(m_socket);
    if (m_wake >= 0)
        ::close(m_wake);
}

// Replaced handlers are let go after the lock is released (a parameter or a local made before
// the lock outlives it): they may hold reply blocks, whose last copy takes the lock.
void XpcConnectionCore::setExportedHandler(XpcExportedHandler handler)
{
    auto shared = std::make_shared<const XpcExportedHandler>(std::move(handler));
    std::lock_guard lock(m_mutex);
    if (m_state != State::Invalidated)
        std::swap(m_exportedHandler, shared);
}

void XpcConnectionCore::setInterruptionHandler(std::function<void()> handler)
{
    std::lock_guard lock(m_mutex);
    if (m_state != State::Invalidated)
        std::swap(m_interruptionHandler, handler);
}

void XpcConnectionCore::setInvalidationHandler(std::function<void()> handler)
{
    std::lock_guard lock(m_mutex);
    if (m_state != State::Invalidated)
        std::swap(m_invalidationHandler, handler);
}

void XpcConnectionCore::resume()
{
    std::vector<XpcErrorHandler> written;
    std::lock_guard lock(m_mutex);
    if (m_state != State::Suspended)
        return;
    m_state = State::Resumed;
    startThreadLocked();
    writeOrWakeLocked(&written);
}

void XpcConnectionCore::invalidate()
{
    std::lock_guard lock(m_mutex);
    if (m_state == State::Invalidated)
        return;
    m_state = State::Invalidated;
    m_invalidated = true;
    {
        std::lock_guard counting(finishing().mutex); // lock order: m_mutex, then this one
        ++finishing().count;
    }
    m_room.notify_all();
    // The peer sees the end at once; the descriptor itself is closed by the thread.
    if (m_socket >= 0)
        ::shutdown(m_socket, SHUT_RDWR);
    startThreadLocked();
    XpcSocket::wake(m_wake);
}

void XpcConnectionCore::report(const QString& what) const
{
    Diagnostics::report(
        QStringLiteral("XpcConnection %1 (pid %2): %3").arg(m_serviceName).arg(m_peerPid.load()).arg(what));
}

void XpcConnectionCore::startThreadLocked()
{
    if (m_thread.joinable())
        return;
    m_thread = std::thread([self = shared_from_this()]() mutable {
        self->run();
        self.reset();
    });
    pthread_setname_np(m_thread.native_handle(), ("xpc " + m_serviceName).left(15).toUtf8().constData());
}

void XpcConnectionCore::run()
{
    for (;;) {
        std::deque<std::function<void()>> tasks;
        bool finishing = false;
        bool connectNow = false;
        bool wantWrite = false;
        int writeError = 0;
        int socket = -1;
        {
            std::lock_guard lock(m_mutex);
            tasks.swap(m_tasks);
            finishing = m_state == State::Invalidated;
            connectNow = m_isClient && m_state == State::Resumed && m_wantsConnection && !m_connectAttempted;
            if (m_state == State::Resumed) {
                socket = m_socket;
                wantWrite = !m_outgoing.empty();
                writeError = m_writeError;
            }
        }
        for (auto& task : tasks)
            task();
        tasks.clear();
        if (finishing) {
            finish();
            return;
        }
        if (connectNow) {
            connectToService();
            continue;
        }
        if (writeError != 0) {
            lose(error(XpcError::Interrupted, systemError(writeError)));
            continue;
        }
        pollfd descriptors[2] = {{m_wake, POLLIN, 0},
                                 {socket, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0}};
        if (::poll(descriptors, socket >= 0 ? 2 : 1, -1) < 0)
            continue; // EINTR
        if (descriptors[0].revents != 0)
            XpcSocket::drainWake(m_wake);
        if (socket < 0 || descriptors[1].revents == 0)
            continue;
        if (descriptors[1].revents & POLLOUT) {
            std::vector<XpcErrorHandler> written;
            std::lock_guard lock(m_mutex);
            if (m_state == State::Resumed && flushLocked(&written) == Flush::Failed)
                m_writeError = errno;
        }
        if (descriptors[1].revents & (POLLIN | POLLHUP | POLLERR))
            readAvailable(socket);
    }
}

void XpcConnectionCore::connectToService()
{
    QString reason;
    const QString path = XpcSocket::socketPath(m_serviceName, &reason);
    const int socket = path.isEmpty() ? -1 : XpcSocket::connectTo(path, &reason);
    {
        std::vector<XpcErrorHandler> written;
        std::lock_guard lock(m_mutex);
        m_connectAttempted = true;
        if (socket >= 0 && m_state == State::Resumed) {
            m_socket = socket;
            pid_t pid = 0;
            uid_t uid = 0;
            if (XpcSocket::peerCredentials(socket, &pid, &uid))
                m_peerPid = pid;
            if (flushLocked(&written) == Flush::Failed)
                m_writeError = errno;
            return;
        }
    }
    if (socket >= 0) {
        ::close(socket); // invalidated meanwhile
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + connectFailureDelay;
    while (!m_invalidated) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        if (left <= 0)
            break;
        pollfd wake{m_wake, POLLIN, 0};
        if (::poll(&wake, 1, static_cast<int>(left)) > 0)
            XpcSocket::drainWake(m_wake);
    }
    lose(XpcError{XpcError::Interrupted,
                  QStringLiteral("Couldn't connect to service named %1: %2").arg(m_serviceName, reason)});
}

void XpcConnectionCore::lose(const XpcError& error)
{
    std::function<void()> interruption;
    std::map<quint32, Pending> pending;
    std::vector<XpcErrorHandler> unsent;
    {
        std::lock_guard lock(m_mutex);
        if (m_state != State::Resumed)
            return;
        m_state = State::Interrupted;
        m_room.notify_all();
        if (m_socket >= 0)
            ::close(m_socket);
        m_socket = -1;
        std::swap(interruption, m_interruptionHandler);
        pending.swap(m_pending);
        unsent = takeUnsentLocked();
    }
    m_received.clear();
    if (interruption)
        interruption();
    for (auto& [id, call] : pending) {
        if (call.error)
            call.error(error);
    }
    for (auto& handler : unsent)
        handler(error);
}

void XpcConnectionCore::finish()
{
    std::map<quint32, Pending> pending;
    std::vector<XpcErrorHandler> unsent;
    std::deque<std::function<void()>> tasks;
    std::function<void()> invalidation;
    std::function<void()> interruption;
    std::shared_ptr<const XpcExportedHandler> exported;
    {
        std::lock_guard lock(m_mutex);
        pending.swap(m_pending);
        unsent = takeUnsentLocked();
        tasks.swap(m_tasks);
        std::swap(invalidation, m_invalidationHandler);
        std::swap(interruption, m_interruptionHandler);
        std::swap(exported, m_exportedHandler);
        if (m_socket >= 0)
            ::close(m_socket);
        m_socket = -1;
    }
    m_received.clear();
    for (auto& task : tasks)
        task();
    const XpcError invalidated = error(XpcError::Invalidated);
    for (auto& [id, call] : pending) {
        if (call.error)
            call.error(invalidated);
    }
    for (auto& handler : unsent)
        handler(invalidated);
    if (invalidation)
        invalidation();
    std::lock_guard counting(finishing().mutex);
    if (--finishing().count == 0)
        finishing().done.notify_all();
}

bool XpcConnectionCore::waitForInvalidated(std::chrono::milliseconds timeout)
{
    {
        std::unique_lock lock(finishing().mutex);
        if (!finishing().done.wait_for(lock, timeout, [] { return finishing().count == 0; }))
            return false;
    }
    // Error handlers of calls made after invalidation run on their own queue.
    lateErrors().sync([] {});
    return true;
}

XpcError XpcConnectionCore::error(XpcError::Code code, const QString& detail) const
{
    QString description;
    switch (code) {
    case XpcError::Invalidated:
        description = QStringLiteral("The connection to service named %1 was invalidated").arg(m_serviceName);
        break;
    case XpcError::Interrupted:
        description = QStringLiteral("The connection to service named %1 was interrupted").arg(m_serviceName);
        break;
    default:
        description = QStringLiteral("Couldn't communicate with service named %1").arg(m_serviceName);
        break;
    }
    if (!detail.isEmpty())
        description += QStringLiteral(": ") + detail;
    return XpcError{code, description};
}
