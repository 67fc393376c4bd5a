#include "platform/XpcConnectionCore.h"

#include "platform/SerialQueue.h"
#include "platform/XpcFrameEncoder.h"
#include "platform/XpcSocket.h"

#include <cerrno>

// Calls and replies: encoding, the queue of what the socket cannot take yet, and the error
// handlers of what could not be sent.

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

