#pragma once

#include "core/DecodeResult.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

#include <optional>

// Strict readers of JSON values: a value of another JSON type is an error, never
// converted. Each error names the coding path ("TimeRestrictions.monday.EnabledThrough").
namespace JsonDecoding {

// "a number", "null", ... for error texts.
QString describe(const QJsonValue& value);
QString joinPath(const QString& path, const QString& key);
QString indexPath(const QString& path, qsizetype index);

QString typeMismatch(const QString& path, const QString& expected, const QJsonValue& found);
QString keyNotFound(const QString& path, const QString& key);
QString dataCorrupted(const QString& path, const QString& reason);

// A whole number in the signed 64-bit range, exactly (a number with a fraction, or beyond
// the range, is not one).
std::optional<qint64> exactInteger(const QJsonValue& value);

DecodeResult<QString> string(const QJsonValue& value, const QString& path);
DecodeResult<bool> boolean(const QJsonValue& value, const QString& path);
DecodeResult<qint64> integer(const QJsonValue& value, const QString& path);
DecodeResult<double> number(const QJsonValue& value, const QString& path);
DecodeResult<QStringList> stringList(const QJsonValue& value, const QString& path);
DecodeResult<QJsonObject> object(const QJsonValue& value, const QString& path);

// Parses a whole document that must be one JSON object.
DecodeResult<QJsonObject> parseObject(const QByteArray& json);

// A key that must be there and not null.
DecodeResult<QJsonValue> required(const QJsonObject& object, const QString& key, const QString& path);

// An optional key: missing or null leaves `field` absent; otherwise `decode(value, path)`
// must succeed. Returns the error text, empty on success.
template <typename T, typename Decode>
QString decodeIfPresent(const QJsonObject& object, const QString& key, const QString& path,
                        std::optional<T>& field, Decode decode)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull()) {
        field.reset();
        return {};
    }
    DecodeResult<T> decoded = decode(value, joinPath(path, key));
    if (!decoded)
        return decoded.error();
    field = std::move(decoded).value();
    return {};
}

} // namespace JsonDecoding
