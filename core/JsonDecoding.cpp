#include "core/JsonDecoding.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <limits>

namespace JsonDecoding {

QString describe(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("a boolean");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("a string");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("nothing");
}

QString joinPath(const QString& path, const QString& key)
{
    return path.isEmpty() ? key : path + QLatin1Char('.') + key;
}

QString indexPath(const QString& path, qsizetype index)
{
    return path + QLatin1Char('[') + QString::number(index) + QLatin1Char(']');
}

namespace {
QString where(const QString& path)
{
    return path.isEmpty() ? QStringLiteral("the top level") : QLatin1Char('"') + path + QLatin1Char('"');
}
} // namespace

QString typeMismatch(const QString& path, const QString& expected, const QJsonValue& found)
{
    return QStringLiteral("type mismatch at %1: expected %2, found %3")
        .arg(where(path), expected, describe(found));
}

QString keyNotFound(const QString& path, const QString& key)
{
    return QStringLiteral("key \"%1\" not found at %2").arg(key, where(path));
}

QString dataCorrupted(const QString& path, const QString& reason)
{
    return QStringLiteral("data corrupted at %1: %2").arg(where(path), reason);
}

std::optional<qint64> exactInteger(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    // toInteger answers its default for anything that is not a whole qint64; two
    // different defaults tell such a value apart from a real one that equals a default.
    constexpr qint64 first = std::numeric_limits<qint64>::min();
    constexpr qint64 second = std::numeric_limits<qint64>::max();
    const qint64 a = value.toInteger(first);
    if (a != first)
        return a;
    if (value.toInteger(second) == second)
        return std::nullopt;
    return a;
}

DecodeResult<QString> string(const QJsonValue& value, const QString& path)
{
    if (!value.isString())
        return DecodeResult<QString>::failure(typeMismatch(path, QStringLiteral("a string"), value));
    return DecodeResult<QString>::success(value.toString());
}

DecodeResult<bool> boolean(const QJsonValue& value, const QString& path)
{
    if (!value.isBool())
        return DecodeResult<bool>::failure(typeMismatch(path, QStringLiteral("a boolean"), value));
    return DecodeResult<bool>::success(value.toBool());
}

DecodeResult<qint64> integer(const QJsonValue& value, const QString& path)
{
    if (const std::optional<qint64> exact = exactInteger(value))
        return DecodeResult<qint64>::success(*exact);
    if (value.isDouble())
        return DecodeResult<qint64>::failure(dataCorrupted(
            path, QStringLiteral("%1 is not a whole 64-bit number").arg(value.toDouble(), 0, 'g', 17)));
    return DecodeResult<qint64>::failure(typeMismatch(path, QStringLiteral("an integer"), value));
}

DecodeResult<double> number(const QJsonValue& value, const QString& path)
{
    if (!value.isDouble())
        return DecodeResult<double>::failure(typeMismatch(path, QStringLiteral("a number"), value));
    return DecodeResult<double>::success(value.toDouble());
}

DecodeResult<QStringList> stringList(const QJsonValue& value, const QString& path)
{
    if (!value.isArray())
        return DecodeResult<QStringList>::failure(typeMismatch(path, QStringLiteral("an array"), value));
    const QJsonArray array = value.toArray();
    QStringList list;
    list.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QJsonValue element = array.at(i);
        if (!element.isString())
            return DecodeResult<QStringList>::failure(
                typeMismatch(indexPath(path, i), QStringLiteral("a string"), element));
        list.append(element.toString());
    }
    return DecodeResult<QStringList>::success(std::move(list));
}

DecodeResult<QJsonObject> object(const QJsonValue& value, const QString& path)
{
    if (!value.isObject())
        return DecodeResult<QJsonObject>::failure(typeMismatch(path, QStringLiteral("an object"), value));
    return DecodeResult<QJsonObject>::success(value.toObject());
}

DecodeResult<QJsonObject> parseObject(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        return DecodeResult<QJsonObject>::failure(
            QStringLiteral("not valid JSON: %1 at offset %2").arg(error.errorString()).arg(error.offset));
    if (!document.isObject())
        return DecodeResult<QJsonObject>::failure(
            QStringLiteral("type mismatch at the top level: expected an object, found %1")
                .arg(document.isArray() ? QStringLiteral("an array") : QStringLiteral("another value")));
    return DecodeResult<QJsonObject>::success(document.object());
}

DecodeResult<QJsonValue> required(const QJsonObject& object, const QString& key, const QString& path)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return DecodeResult<QJsonValue>::failure(keyNotFound(path, key));
    if (value.isNull())
        return DecodeResult<QJsonValue>::failure(
            QStringLiteral("value not found at %1: null where a value is required")
                .arg(where(joinPath(path, key))));
    return DecodeResult<QJsonValue>::success(value);
}

} // namespace JsonDecoding
