#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

// One typed argument of an interprocess call, as it travels on the wire
// (docs/ipc-protocol.md, "Values"). Values are cheap to copy.
class XpcValue
{
public:
    // The numbers are the wire tags.
    enum class Type : quint8
    {
        Null = 0,
        Bool = 1,
        Int16 = 2,
        Int32 = 3,
        Int64 = 4,
        Text = 5,
        Bytes = 6,
        Dictionary = 7,
    };
    // A dictionary keeps its entries in wire order; keys and values are any type but Dictionary.
    using Entry = std::pair<XpcValue, XpcValue>;

    XpcValue() = default; // Null

    static XpcValue fromBool(bool value);
    static XpcValue fromInt16(qint16 value);
    static XpcValue fromInt32(qint32 value);
    static XpcValue fromInt64(qint64 value);
    static XpcValue fromText(const QString& value);
    static XpcValue fromBytes(const QByteArray& value);
    static XpcValue fromEntries(std::vector<Entry> entries);
    static XpcValue fromTextDictionary(const QMap<QString, QString>& dictionary);

    Type type() const { return m_type; }
    bool isNull() const { return m_type == Type::Null; }

    // Each reads its own type and gives the type's zero for any other.
    bool toBool() const;
    qint16 toInt16() const;
    qint32 toInt32() const;
    qint64 toInt64() const;
    QString toText() const;
    QByteArray toBytes() const;
    const std::vector<Entry>& entries() const;

    // Text keys to text values; nothing when this is not a dictionary, when a key or value
    // is not text, or when a key comes twice (the receiver could not tell which one holds).
    std::optional<QMap<QString, QString>> toTextDictionary() const;

    bool operator==(const XpcValue& other) const;

private:
    Type m_type = Type::Null;
    qint64 m_integer = 0;
    QString m_text;
    QByteArray m_bytes;
    std::shared_ptr<const std::vector<Entry>> m_entries;
};

using XpcArguments = QList<XpcValue>;
