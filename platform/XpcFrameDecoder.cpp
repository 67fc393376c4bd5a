#include "platform/XpcFrameDecoder.h"

#include <QStringDecoder>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace {

// Reads a body front to back; the first shortfall or bad value stops it with a reason.
class Reader
{
public:
    explicit Reader(QByteArrayView data) : m_data(data) {}

    bool atEnd() const { return m_position == m_data.size(); }
    qsizetype remaining() const { return m_data.size() - m_position; }
    QString error() const { return m_error; }
    bool fail(const QString& reason)
    {
        if (m_error.isEmpty())
            m_error = reason;
        return false;
    }

    bool take(qsizetype count, QByteArrayView* out, const char* what)
    {
        if (count > remaining())
            return fail(QStringLiteral("%1 runs past the end of the frame").arg(QLatin1String(what)));
        *out = m_data.sliced(m_position, count);
        m_position += count;
        return true;
    }
    template <typename T> bool number(T* out, const char* what)
    {
        QByteArrayView bytes;
        if (!take(sizeof(T), &bytes, what))
            return false;
        *out = qFromBigEndian<T>(bytes.data());
        return true;
    }
    bool text(qsizetype length, QString* out, const char* what)
    {
        QByteArrayView bytes;
        if (!take(length, &bytes, what))
            return false;
        QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
        *out = decoder(bytes);
        if (decoder.hasError())
            return fail(QStringLiteral("%1 is not UTF-8").arg(QLatin1String(what)));
        return true;
    }

    bool value(XpcValue* out, bool insideDictionary)
    {
        quint8 tag = 0;
        if (!number(&tag, "a value"))
            return false;
        switch (static_cast<XpcValue::Type>(tag)) {
        case XpcValue::Type::Null:
            *out = XpcValue();
            return true;
        case XpcValue::Type::Bool: {
            quint8 flag = 0;
            if (!number(&flag, "a boolean"))
                return false;
            if (flag > 1)
                return fail(QStringLiteral("a boolean is neither 0 nor 1"));
            *out = XpcValue::fromBool(flag == 1);
            return true;
        }
        case XpcValue::Type::Int16: {
            quint16 raw = 0;
            if (!number(&raw, "an int16"))
                return false;
            *out = XpcValue::fromInt16(static_cast<qint16>(raw));
            return true;
        }
        case XpcValue::Type::Int32: {
            quint32 raw = 0;
            if (!number(&raw, "an int32"))
                return false;
            *out = XpcValue::fromInt32(static_cast<qint32>(raw));
            return true;
        }
        case XpcValue::Type::Int64: {
            quint64 raw = 0;
            if (!number(&raw, "an int64"))
                return false;
            *out = XpcValue::fromInt64(static_cast<qint64>(raw));
            return true;
        }
        case XpcValue::Type::Text: {
            quint32 length = 0;
            QString text;
            if (!number(&length, "a text length") || !this->text(length, &text, "a text"))
                return false;
            *out = XpcValue::fromText(text);
            return true;
        }
        case XpcValue::Type::Bytes: {
            quint32 length = 0;
            QByteArrayView bytes;
            if (!number(&length, "a bytes length") || !take(length, &bytes, "a bytes value"))
                return false;
            *out = XpcValue::fromBytes(bytes.toByteArray());
            return true;
        }
        case XpcValue::Type::Dictionary:
            return dictionary(out, insideDictionary);
        }
        return fail(QStringLiteral("unknown value tag %1").arg(tag));
    }

    bool dictionary(XpcValue* out, bool insideDictionary)
    {
        if (insideDictionary)
            return fail(QStringLiteral("a dictionary inside a dictionary"));
        quint32 count = 0;
        if (!number(&count, "a dictionary size"))
            return false;
        // Every entry takes at least two bytes: a count beyond that is a lie, not a reason
        // to reserve memory.
        if (count > remaining() / 2)
            return fail(
                QStringLiteral("a dictionary of %1 entries runs past the end of the frame").arg(count));
        std::vector<XpcValue::Entry> entries;
        entries.reserve(count);
        for (quint32 i = 0; i < count; ++i) {
            XpcValue key;
            XpcValue value;
            if (!this->value(&key, true) || !this->value(&value, true))
                return false;
            entries.emplace_back(std::move(key), std::move(value));
        }
        *out = XpcValue::fromEntries(std::move(entries));
        return true;
    }

    bool arguments(XpcArguments* out)
    {
        quint16 count = 0;
        if (!number(&count, "the argument count"))
            return false;
        if (count > remaining())
            return fail(QStringLiteral("%1 arguments run past the end of the frame").arg(count));
        out->reserve(count);
        for (quint16 i = 0; i < count; ++i) {
            XpcValue argument;
            if (!value(&argument, false))
                return false;
            out->append(std::move(argument));
        }
        return true;
    }

private:
    QByteArrayView m_data;
    qsizetype m_position = 0;
    QString m_error;
};

bool readCall(Reader& reader, XpcFrame* frame)
{
    quint8 flags = 0;
    quint16 selectorLength = 0;
    if (!reader.number(&flags, "the call flags") || !reader.number(&selectorLength, "the selector length"))
        return false;
    if (flags > 1)
        return reader.fail(QStringLiteral("unknown call flags %1").arg(flags));
    if (selectorLength == 0 || selectorLength > XpcWire::maximumSelectorLength)
        return reader.fail(QStringLiteral("a selector of %1 bytes").arg(selectorLength));
    frame->carriesDescriptor = flags == 1;
    return reader.text(selectorLength, &frame->selector, "the selector") &&
           reader.arguments(&frame->arguments);
}

} // namespace

void XpcFrameDecoder::feed(QByteArrayView bytes)
{
    if (failed() || bytes.isEmpty())
        return;
    // Drop what has been consumed before growing, so the buffer holds one frame at most
    // plus what came with it.
    if (m_position > 0 && (m_position == m_buffer.size() || m_position > 65536)) {
        m_buffer.remove(0, m_position);
        m_position = 0;
    }
    m_buffer.append(bytes.data(), bytes.size());
}

XpcFrameDecoder::Result XpcFrameDecoder::next(XpcFrame* frame)
{
    if (failed())
        return Result::Error;
    if (bufferedBytes() < XpcWire::headerLength)
        return Result::NeedMore;
    const char* header = m_buffer.constData() + m_position;
    const quint16 kind = qFromBigEndian<quint16>(header);
    const quint32 length = qFromBigEndian<quint32>(header + 2);
    if (length > XpcWire::maximumBodyLength)
        return fail(QStringLiteral("Peer tried to send huge frame (%1 bytes, the limit is %2)")
                        .arg(length)
                        .arg(XpcWire::maximumBodyLength));
    if (kind < static_cast<quint16>(XpcFrameKind::Hello) || kind > static_cast<quint16>(XpcFrameKind::Reply))
        return fail(QStringLiteral("unknown frame kind %1").arg(kind));
    const auto frameKind = static_cast<XpcFrameKind>(kind);
    if (!m_handshakeDone && frameKind != XpcFrameKind::Hello)
        return fail(QStringLiteral("frame of kind %1 before the handshake").arg(kind));
    if (m_handshakeDone && frameKind == XpcFrameKind::Hello)
        return fail(QStringLiteral("a second handshake"));
    m_expectedBody = length;
    if (bufferedBytes() - XpcWire::headerLength < length)
        return Result::NeedMore;

    QString error;
    std::optional<XpcFrame> decoded =
        decodeBody(frameKind, QByteArrayView(header + XpcWire::headerLength, length), &error);
    if (!decoded)
        return fail(error);
    if (frameKind == XpcFrameKind::Hello) {
        if (decoded->version != XpcWire::protocolVersion)
            return fail(QStringLiteral("the peer speaks protocol version %1, this end speaks %2")
                            .arg(decoded->version)
                            .arg(XpcWire::protocolVersion));
        m_handshakeDone = true;
    }
    m_position += XpcWire::headerLength + length;
    m_expectedBody = 0;
    *frame = std::move(*decoded);
    return Result::Frame;
}

std::optional<XpcFrame> XpcFrameDecoder::decodeBody(XpcFrameKind kind, QByteArrayView body, QString* error)
{
    Reader reader(body);
    XpcFrame frame;
    frame.kind = kind;
    bool ok = false;
    switch (kind) {
    case XpcFrameKind::Hello: {
        QByteArrayView magic;
        ok = reader.take(sizeof XpcWire::magic, &magic, "the handshake") &&
             (std::memcmp(magic.data(), XpcWire::magic, sizeof XpcWire::magic) == 0 ||
              reader.fail(QStringLiteral("the handshake does not start with NVXP"))) &&
             reader.number(&frame.version, "the protocol version");
        break;
    }
    case XpcFrameKind::CallWithReply:
        ok = reader.number(&frame.callId, "the call id") &&
             (frame.callId != 0 || reader.fail(QStringLiteral("call id 0"))) && readCall(reader, &frame);
        break;
    case XpcFrameKind::Call:
        ok = readCall(reader, &frame);
        break;
    case XpcFrameKind::Reply: {
        quint8 status = 0;
        ok = reader.number(&frame.callId, "the call id") &&
             (frame.callId != 0 || reader.fail(QStringLiteral("call id 0"))) &&
             reader.number(&status, "the reply status") &&
             (status <= 1 || reader.fail(QStringLiteral("unknown reply status %1").arg(status))) &&
             reader.arguments(&frame.arguments) &&
             (status == 0 || frame.arguments.isEmpty() ||
              reader.fail(QStringLiteral("an unanswered call with reply arguments")));
        frame.status = static_cast<XpcReplyStatus>(status);
        break;
    }
    }
    if (ok && !reader.atEnd())
        ok = reader.fail(QStringLiteral("%1 bytes left over after the frame").arg(reader.remaining()));
    if (!ok) {
        if (error)
            *error = QStringLiteral("malformed frame of kind %1: %2")
                         .arg(static_cast<quint16>(kind))
                         .arg(reader.error());
        return std::nullopt;
    }
    return frame;
}

XpcFrameDecoder::Result XpcFrameDecoder::fail(const QString& error)
{
    m_error = error;
    m_buffer.clear();
    m_position = 0;
    return Result::Error;
}
