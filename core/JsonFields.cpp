#include "core/JsonFields.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

namespace JsonFields {

std::optional<QJsonObject> object(const QByteArray& json, QString* problem)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        if (problem)
            *problem = QStringLiteral("The data is not valid JSON: %1 at offset %2.")
                           .arg(error.errorString())
                           .arg(error.offset);
        return std::nullopt;
    }
    if (!document.isObject()) {
        if (problem)
            *problem = QStringLiteral("Expected a JSON object but found an array.");
        return std::nullopt;
    }
    return document.object();
}

bool optionalString(const QJsonObject& object, const QString& key, std::optional<QString>& out,
                    QString* problem)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull()) {
        out.reset();
        return true;
    }
    if (!value.isString()) {
        if (problem)
            *problem = QStringLiteral("Expected a text for the key \"%1\".").arg(key);
        return false;
    }
    out = value.toString();
    return true;
}

} // namespace JsonFields
