#include "platform/XpcConnectionCore.h"

#include "platform/XpcSocket.h"

#include <cerrno>
#include <cstring>

// The connection's thread reads the peer's frames and hands each to its handler.

namespace {

constexpr size_t readChunk = 64 * 1024;
// Rounds of reading before the thread looks at its other work again.
constexpr int readRounds = 16;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

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

