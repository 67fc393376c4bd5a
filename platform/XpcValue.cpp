#include "platform/XpcValue.h"

XpcValue XpcValue::fromBool(bool value)
{
    XpcValue result;
    result.m_type = Type::Bool;
    result.m_integer = value ? 1 : 0;
    return result;
}

XpcValue XpcValue::fromInt16(qint16 value)
{
    XpcValue result;
    result.m_type = Type::Int16;
    result.m_integer = value;
    return result;
}

XpcValue XpcValue::fromInt32(qint32 value)
{
    XpcValue result;
    result.m_type = Type::Int32;
    result.m_integer = value;
    return result;
}

XpcValue XpcValue::fromInt64(qint64 value)
{
    XpcValue result;
    result.m_type = Type::Int64;
    result.m_integer = value;
    return result;
}

XpcValue XpcValue::fromText(const QString& value)
{
    XpcValue result;
    result.m_type = Type::Text;
    result.m_text = value;
    return result;
}

XpcValue XpcValue::fromBytes(const QByteArray& value)
{
    XpcValue result;
    result.m_type = Type::Bytes;
    result.m_bytes = value;
    return result;
}

XpcValue XpcValue::fromEntries(std::vector<Entry> entries)
{
    XpcValue result;
    result.m_type = Type::Dictionary;
    result.m_entries = std::make_shared<const std::vector<Entry>>(std::move(entries));
    return result;
}

XpcValue XpcValue::fromTextDictionary(const QMap<QString, QString>& dictionary)
{
    std::vector<Entry> entries;
    entries.reserve(static_cast<size_t>(dictionary.size()));
    for (auto it = dictionary.cbegin(); it != dictionary.cend(); ++it)
        entries.emplace_back(fromText(it.key()), fromText(it.value()));
    return fromEntries(std::move(entries));
}

bool XpcValue::toBool() const
{
    return m_type == Type::Bool && m_integer != 0;
}

qint16 XpcValue::toInt16() const
{
    return m_type == Type::Int16 ? static_cast<qint16>(m_integer) : 0;
}

qint32 XpcValue::toInt32() const
{
    return m_type == Type::Int32 ? static_cast<qint32>(m_integer) : 0;
}

qint64 XpcValue::toInt64() const
{
    return m_type == Type::Int64 ? m_integer : 0;
}

QString XpcValue::toText() const
{
    return m_type == Type::Text ? m_text : QString();
}

QByteArray XpcValue::toBytes() const
{
    return m_type == Type::Bytes ? m_bytes : QByteArray();
}

const std::vector<XpcValue::Entry>& XpcValue::entries() const
{
    static const std::vector<Entry> none;
    return m_entries ? *m_entries : none;
}

std::optional<QMap<QString, QString>> XpcValue::toTextDictionary() const
{
    if (m_type != Type::Dictionary)
        return std::nullopt;
    QMap<QString, QString> result;
    for (const Entry& entry : entries()) {
        if (entry.first.type() != Type::Text || entry.second.type() != Type::Text)
            return std::nullopt;
        if (result.contains(entry.first.m_text))
            return std::nullopt;
        result.insert(entry.first.m_text, entry.second.m_text);
    }
    return result;
}

bool XpcValue::operator==(const XpcValue& other) const
{
    if (m_type != other.m_type)
        return false;
    switch (m_type) {
    case Type::Null:
        return true;
    case Type::Bool:
    case Type::Int16:
    case Type::Int32:
    case Type::Int64:
        return m_integer == other.m_integer;
    case Type::Text:
        return m_text == other.m_text;
    case Type::Bytes:
        return m_bytes == other.m_bytes;
    case Type::Dictionary:
        return entries() == other.entries();
    }
    return false;
}
