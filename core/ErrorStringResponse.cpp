#include "core/ErrorStringResponse.h"

#include "core/JsonFields.h"

std::optional<ErrorStringResponse> ErrorStringResponse::decode(const QByteArray& json, QString* problem)
{
    const std::optional<QJsonObject> object = JsonFields::object(json, problem);
    if (!object)
        return std::nullopt;
    ErrorStringResponse response;
    if (!JsonFields::optionalString(*object, QStringLiteral("error"), response.error, problem))
        return std::nullopt;
    return response;
}
