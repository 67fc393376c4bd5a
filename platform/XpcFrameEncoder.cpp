#include "platform/XpcFrameEncoder.h"

#include <QtEndian>

namespace {

class Writer
{
public:
    void u8(quint8 value) { m_bytes.append(static_cast<char>(value)); }
    void u16(quint16 value) { append(qToBigEndian(value)); }
    void u32(quint32 value) { append(qToBigEndian(value)); }
    void u64(quint64 value) { append(qToBigEndian(value)); }
    void raw(const QByteArray& bytes) { m_bytes.append(bytes); }
    qsizetype size() const { return m_bytes.size(); }
    QByteArray& bytes() { return m_bytes; }

    // Values only check what the decoder cannot see by itself: the nesting rule and the
    // 32-bit lengths.
    bool value(const XpcValue& value, bool insideDictionary, QString* error)
    {
        u8(static_cast<quint8>(value.type()));
        switch (value.type()) {
        case XpcValue::Type::Null:
            return true;
        case XpcValue::Type::Bool:
            u8(value.toBool() ? 1 : 0);
            return true;
        case XpcValue::Type::Int16:
            u16(static_cast<quint16>(value.toInt16()));
            return true;
        case XpcValue::Type::Int32:
            u32(static_cast<quint32>(value.toInt32()));
            return true;
        case XpcValue::Type::Int64:
            u64(static_cast<quint64>(value.toInt64()));
            return true;
        case XpcValue::Type::Text:
            return lengthPrefixed(value.toText().toUtf8(), error);
        case XpcValue::Type::Bytes:
            return lengthPrefixed(value.toBytes(), error);
        case XpcValue::Type::Dictionary:
            if (insideDictionary) {
                *error = QStringLiteral("a dictionary cannot hold a dictionary");
                return false;
            }
            u32(static_cast<quint32>(value.entries().size()));
            for (const XpcValue::Entry& entry : value.entries()) {
                if (!this->value(entry.first, true, error) || !this->value(entry.second, true, error))
                    return false;
                if (size() > XpcWire::maximumBodyLength)
                    return tooLarge(error);
            }
            return true;
        }
        return true;
    }

    bool lengthPrefixed(const QByteArray& bytes, QString* error)
    {
        if (bytes.size() > XpcWire::maximumBodyLength)
            return tooLarge(error);
        u32(static_cast<quint32>(bytes.size()));
        raw(bytes);
        return true;
    }

    static bool tooLarge(QString* error)
    {
        *error = QStringLiteral("the frame is larger than %1 bytes").arg(XpcWire::maximumBodyLength);
        return false;
    }

private:
    template <typename T> void append(T bigEndian)
    {
        m_bytes.append(reinterpret_cast<const char*>(&bigEndian), sizeof bigEndian);
    }
    QByteArray m_bytes;
};

bool writeArguments(Writer& writer, const XpcArguments& arguments, QString* error)
{
    if (arguments.size() > 0xFFFF) {
        *error = QStringLiteral("more than 65535 arguments");
        return false;
    }
    writer.u16(static_cast<quint16>(arguments.size()));
    for (const XpcValue& argument : arguments) {
        if (!writer.value(argument, false, error))
            return false;
        if (writer.size() > XpcWire::headerLength + XpcWire::maximumBodyLength)
            return Writer::tooLarge(error);
    }
    return true;
}

bool writeBody(Writer& writer, const XpcFrame& frame, QString* error)
{
    switch (frame.kind) {
    case XpcFrameKind::Hello:
        writer.raw(QByteArray(XpcWire::magic, sizeof XpcWire::magic));
        writer.u16(frame.version);
        return true;
    case XpcFrameKind::CallWithReply:
        if (frame.callId == 0) {
            *error = QStringLiteral("a call with a reply needs a call id");
            return false;
        }
        writer.u32(frame.callId);
        [[fallthrough]];
    case XpcFrameKind::Call: {
        const QByteArray selector = frame.selector.toUtf8();
        if (selector.isEmpty() || selector.size() > XpcWire::maximumSelectorLength) {
            *error =
                QStringLiteral("the selector must have 1 to %1 bytes").arg(XpcWire::maximumSelectorLength);
            return false;
        }
        writer.u8(frame.carriesDescriptor ? 1 : 0);
        writer.u16(static_cast<quint16>(selector.size()));
        writer.raw(selector);
        return writeArguments(writer, frame.arguments, error);
    }
    case XpcFrameKind::Reply:
        if (frame.callId == 0) {
            *error = QStringLiteral("a reply needs a call id");
            return false;
        }
        if (frame.status != XpcReplyStatus::Replied && !frame.arguments.isEmpty()) {
            *error = QStringLiteral("an unanswered call has no reply arguments");
            return false;
        }
        writer.u32(frame.callId);
        writer.u8(static_cast<quint8>(frame.status));
        return writeArguments(writer, frame.arguments, error);
    }
    *error = QStringLiteral("unknown frame kind");
    return false;
}

} // namespace

namespace XpcFrameEncoder {

std::optional<QByteArray> encode(const XpcFrame& frame, QString* error)
{
    QString reason;
    Writer writer;
    writer.raw(header(static_cast<quint16>(frame.kind), 0));
    if (!writeBody(writer, frame, &reason) ||
        writer.size() - XpcWire::headerLength > XpcWire::maximumBodyLength) {
        if (reason.isEmpty())
            Writer::tooLarge(&reason);
        if (error)
            *error = reason;
        return std::nullopt;
    }
    QByteArray& bytes = writer.bytes();
    qToBigEndian(static_cast<quint32>(bytes.size() - XpcWire::headerLength), bytes.data() + 2);
    return bytes;
}

QByteArray hello(quint16 version)
{
    XpcFrame frame;
    frame.version = version;
    return *encode(frame);
}

QByteArray header(quint16 kind, quint32 bodyLength)
{
    QByteArray bytes(XpcWire::headerLength, Qt::Uninitialized);
    qToBigEndian(kind, bytes.data());
    qToBigEndian(bodyLength, bytes.data() + 2);
    return bytes;
}

} // namespace XpcFrameEncoder
