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

namespace {

constexpr size_t readChunk = 64 * 1024;
// Rounds of reading before the thread looks at its other work again.
constexpr int readRounds = 16;

// Error handlers of calls made after invalidation run here: the connection's thread is gone
// and the caller's thread may hold locks the handler takes. Never destroyed, so it outlives
// every connection.
SerialQueue& lateErrors()
{
    static SerialQueue* queue = new SerialQueue(QStringLiteral("xpc errors"));
    return *queue;
}

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

void XpcConnectionCore::call(XpcInvocation invocation, XpcReplyHandler reply, XpcErrorHandler error)
{
    const bool expectsReply = static_cast<bool>(reply);
    XpcFrame frame;
    frame.kind = expectsReply ? XpcFrameKind::CallWithReply : XpcFrameKind::Call;
    frame.selector = invocation.selector;
    frame.arguments = std::move(invocation.arguments);
    frame.carriesDescriptor = invocation.fileDescriptor.isValid();
    if (expectsReply) {
        frame.callId = m_nextCallId.fetch_add(1);
        if (frame.callId == 0)
            frame.callId = m_nextCallId.fetch_add(1);
    }
    QString reason;
    std::optional<QByteArray> bytes = XpcFrameEncoder::encode(frame, &reason);

    std::vector<XpcErrorHandler> written; // let go after the lock, which is released first
    std::unique_lock lock(m_mutex);
    if (bytes && m_state == State::Resumed && m_outgoingBytes + bytes->size() > maximumQueuedBytes &&
        std::this_thread::get_id() != m_thread.get_id()) {
        // The peer reads slower than we write: the sender waits for room, as a blocking
        // write would. The connection's own thread never waits, since it is the one that
        // reads the peer's side.
        ++m_waitingForRoom;
        m_room.wait(lock, [&] {
            return m_state != State::Resumed || m_outgoingBytes + bytes->size() <= maximumQueuedBytes;
        });
        --m_waitingForRoom;
    }
    if (!bytes) {
        failLaterLocked(std::move(error),
                        this->error(XpcError::SendFailed,
                                    QStringLiteral("cannot send %1: %2").arg(frame.selector, reason)));
        return;
    }
    if (m_state == State::Interrupted || m_state == State::Invalidated) {
        failLaterLocked(std::move(error), this->error(m_state == State::Invalidated ? XpcError::Invalidated
                                                                                    : XpcError::Interrupted));
        return;
    }
    if (m_outgoingBytes + bytes->size() > maximumQueuedBytes) {
        failLaterLocked(
            std::move(error),
            this->error(XpcError::SendFailed,
                        QStringLiteral("cannot send %1: the peer is not reading").arg(frame.selector)));
        return;
    }
    // A call with a reply fails through its pending entry; a one-way call through its
    // queue entry, until it is written out.
    XpcErrorHandler onFailure;
    if (expectsReply)
        m_pending.emplace(frame.callId, Pending{frame.selector, std::move(reply), std::move(error)});
    else
        onFailure = std::move(error);
    enqueueLocked(std::move(*bytes), std::move(invocation.fileDescriptor), std::move(onFailure));
    m_wantsConnection = true;
    writeOrWakeLocked(&written);
}

void XpcConnectionCore::sendReply(quint32 callId, XpcReplyStatus status, const XpcArguments& arguments,
                                  const QString& selector)
{
    XpcFrame frame;
    frame.kind = XpcFrameKind::Reply;
    frame.callId = callId;
    frame.status = status;
    if (status == XpcReplyStatus::Replied)
        frame.arguments = arguments;
    QString reason;
    std::optional<QByteArray> bytes = XpcFrameEncoder::encode(frame, &reason);
    if (!bytes) {
        report(
            QStringLiteral("cannot answer %1 (%2); answering that it was not handled").arg(selector, reason));
        frame.status = XpcReplyStatus::NotHandled;
        frame.arguments.clear();
        bytes = XpcFrameEncoder::encode(frame);
    }
    std::vector<XpcErrorHandler> written;
    std::lock_guard lock(m_mutex);
    if (m_state != State::Resumed)
        return;
    enqueueLocked(std::move(*bytes), XpcFileDescriptor(), nullptr);
    writeOrWakeLocked(&written);
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

void XpcConnectionCore::readAvailable(int socket)
{
    if (m_readBuffer.empty())
        m_readBuffer.resize(readChunk);
    for (int round = 0; round < readRounds; ++round) {
        bool lostDescriptors = false;
        const ssize_t count = XpcSocket::receive(socket, m_readBuffer.data(), m_readBuffer.size(),
                                                 &m_received, &lostDescriptors);
        if (count > 0) {
            if (lostDescriptors) {
                protocolFailure(QStringLiteral("the peer sent more descriptors than a frame can carry"));
                return;
            }
            m_decoder.feed(QByteArrayView(m_readBuffer.data(), count));
            if (!dispatchFrames())
                return;
            // A short read emptied the socket: poll() tells when more comes, which saves
            // the read that would only say so.
            if (static_cast<size_t>(count) < m_readBuffer.size())
                return;
            continue;
        }
        if (count == 0) {
            const qsizetype buffered = m_decoder.bufferedBytes();
            if (buffered > 0) {
                const QString expected =
                    m_decoder.expectedBodyLength() > 0 || buffered >= XpcWire::headerLength
                        ? QString::number(XpcWire::headerLength + m_decoder.expectedBodyLength())
                        : QStringLiteral("at least %1").arg(XpcWire::headerLength);
                protocolFailure(
                    QStringLiteral("truncated frame: the peer closed the connection after %1 of %2 bytes")
                        .arg(buffered)
                        .arg(expected));
            } else {
                lose(error(XpcError::Interrupted, QStringLiteral("the peer closed the connection")));
            }
            return;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            lose(error(XpcError::Interrupted, systemError(errno)));
        return;
    }
}

bool XpcConnectionCore::dispatchFrames()
{
    XpcFrame frame;
    while (!m_invalidated) {
        switch (m_decoder.next(&frame)) {
        case XpcFrameDecoder::Result::NeedMore:
            if (m_received.size() > maximumUnclaimedDescriptors) {
                protocolFailure(QStringLiteral("the peer sent descriptors that no frame claims"));
                return false;
            }
            return true;
        case XpcFrameDecoder::Result::Error:
            protocolFailure(m_decoder.errorString());
            return false;
        case XpcFrameDecoder::Result::Frame:
            if (!handleFrame(frame))
                return false;
            break;
        }
    }
    return false;
}

bool XpcConnectionCore::handleFrame(XpcFrame& frame)
{
    switch (frame.kind) {
    case XpcFrameKind::Hello:
        return true;
    case XpcFrameKind::Call:
    case XpcFrameKind::CallWithReply: {
        XpcInvocation invocation{std::move(frame.selector), std::move(frame.arguments), XpcFileDescriptor()};
        if (frame.carriesDescriptor) {
            if (m_received.empty()) {
                protocolFailure(
                    QStringLiteral("%1 announced a descriptor that did not come").arg(invocation.selector));
                return false;
            }
            invocation.fileDescriptor = std::move(m_received.front());
            m_received.pop_front();
        }
        XpcReplyBlock reply;
        if (frame.kind == XpcFrameKind::CallWithReply)
            reply = XpcReplyBlock(shared_from_this(), frame.callId, invocation.selector);
        std::shared_ptr<const XpcExportedHandler> handler;
        {
            std::lock_guard lock(m_mutex);
            handler = m_exportedHandler;
        }
        if (!handler || !*handler) {
            report(QStringLiteral("nothing handles %1; dropped").arg(invocation.selector));
            return true;
        }
        (*handler)(std::move(invocation), std::move(reply));
        return true;
    }
    case XpcFrameKind::Reply: {
        std::unique_lock lock(m_mutex);
        auto it = m_pending.find(frame.callId);
        if (it == m_pending.end()) {
            lock.unlock();
            report(QStringLiteral("a reply to unknown call %1; ignored").arg(frame.callId));
            return true;
        }
        Pending pending = std::move(it->second);
        m_pending.erase(it);
        lock.unlock();
        if (frame.status == XpcReplyStatus::Replied) {
            if (pending.reply)
                pending.reply(frame.arguments);
        } else if (pending.error) {
            pending.error(error(XpcError::ReplyInvalid,
                                QStringLiteral("the peer did not answer %1").arg(pending.selector)));
        }
        return true;
    }
    }
    return true;
}

void XpcConnectionCore::protocolFailure(const QString& reason)
{
    report(reason + QStringLiteral("; dropping the peer"));
    lose(error(XpcError::Interrupted, reason));
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

void XpcConnectionCore::enqueueLocked(QByteArray bytes, XpcFileDescriptor descriptor,
                                      XpcErrorHandler onFailure)
{
    m_outgoingBytes += bytes.size();
    m_outgoing.push_back(Outgoing{std::move(bytes), 0, std::move(descriptor), std::move(onFailure)});
}

void XpcConnectionCore::writeOrWakeLocked(std::vector<XpcErrorHandler>* written)
{
    if (m_state != State::Resumed)
        return;
    if (m_socket < 0) {
        // A client that has not connected yet: its thread connects and then writes.
        if (m_isClient && m_wantsConnection && !m_connectAttempted)
            XpcSocket::wake(m_wake);
        return;
    }
    const Flush result = flushLocked(written);
    if (result == Flush::Failed)
        m_writeError = errno;
    if (result != Flush::Done)
        XpcSocket::wake(m_wake); // to watch for room in the socket, or to drop the peer
}

XpcConnectionCore::Flush XpcConnectionCore::flushLocked(std::vector<XpcErrorHandler>* written)
{
    while (!m_outgoing.empty()) {
        Outgoing& front = m_outgoing.front();
        // The descriptor rides on the frame's first byte, and only once.
        const int descriptor = front.offset == 0 ? front.descriptor.get() : -1;
        const ssize_t sent =
            XpcSocket::send(m_socket, front.bytes.constData() + front.offset,
                            static_cast<size_t>(front.bytes.size() - front.offset), descriptor);
        if (sent < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK ? Flush::WouldBlock : Flush::Failed;
        front.offset += sent;
        m_outgoingBytes -= sent;
        if (m_waitingForRoom > 0)
            m_room.notify_all();
        if (front.offset < front.bytes.size())
            continue;
        // Written out: a one-way call can no longer fail. Its handler goes to the caller,
        // which lets it go after unlocking (it may hold things that take this lock).
        if (front.onFailure)
            written->push_back(std::move(front.onFailure));
        m_outgoing.pop_front();
    }
    return Flush::Done;
}

std::vector<XpcErrorHandler> XpcConnectionCore::takeUnsentLocked()
{
    std::vector<XpcErrorHandler> handlers;
    for (Outgoing& entry : m_outgoing) {
        if (entry.onFailure)
            handlers.push_back(std::move(entry.onFailure));
    }
    m_outgoing.clear();
    m_outgoingBytes = 0;
    return handlers;
}

void XpcConnectionCore::failLaterLocked(XpcErrorHandler handler, const XpcError& error)
{
    if (!handler)
        return;
    auto task = [handler = std::move(handler), error] { handler(error); };
    if (m_state == State::Invalidated) {
        lateErrors().async(std::move(task));
        return;
    }
    m_tasks.push_back(std::move(task));
    XpcSocket::wake(m_wake);
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
