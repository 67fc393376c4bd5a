#pragma once

#include "platform/XpcFrame.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Turns the bytes of one direction of the link into frames. It waits for whole frames,
// refuses a length over the cap as soon as the header is in, and insists on the handshake
// (one Hello of our version) before anything else. After the first error it stays failed:
// the stream cannot be trusted any further, so the peer is to be dropped.
class XpcFrameDecoder
{
public:
    enum class Result
    {
        Frame,    // *frame holds the next frame
        NeedMore, // feed more bytes
        Error,    // errorString() says why
    };

    void feed(QByteArrayView bytes);
    Result next(XpcFrame* frame);

    bool failed() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    bool handshakeDone() const { return m_handshakeDone; }
    // Bytes that do not make a whole frame yet: at the end of the stream, a truncated frame.
    qsizetype bufferedBytes() const { return m_buffer.size() - m_position; }
    // The body length of the frame being waited for, 0 before its header is in.
    quint32 expectedBodyLength() const { return m_expectedBody; }

    // The body of one frame, without the header and the handshake rule.
    static std::optional<XpcFrame> decodeBody(XpcFrameKind kind, QByteArrayView body, QString* error);

private:
    Result fail(const QString& error);

    QByteArray m_buffer;
    qsizetype m_position = 0;
    quint32 m_expectedBody = 0;
    bool m_handshakeDone = false;
    QString m_error;
};
