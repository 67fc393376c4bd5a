#pragma once

#include <QMap>
#include <QString>
#include <QStringView>

// The payload of a message on the link: text keys to text values, possibly empty.
using IpcDictionary = QMap<QString, QString>;

// How payload values are written and read. Both ends of the link read them the same way,
// so a value a reader does not understand falls back to its default instead of failing.
namespace IpcPayload {

// "1" or "0".
QString fromBool(bool value);
// True only for exactly "1"; an absent key reads as absentValue.
bool readBool(const IpcDictionary& dictionary, const QString& key, bool absentValue = false);

// The value unchanged; an absent key reads as the empty text.
QString readText(const IpcDictionary& dictionary, const QString& key);

// Plain decimal: an optional "-", no "+", no leading zeros.
QString fromInt32(qint32 value);
// An optional "+" or "-" and one or more ASCII digits that fit 32 bits signed; anything
// else (empty, a sign alone, another character, overflow) reads as 0.
qint32 parseInt32(QStringView text);
// An absent key reads as 0.
qint32 readInt32(const IpcDictionary& dictionary, const QString& key);

} // namespace IpcPayload
