#include "core/RetriveTokenResponse.h"

#include "core/JsonFields.h"

std::optional<RetriveTokenResponse> RetriveTokenResponse::decode(const QByteArray& json, QString* problem)
{
    const std::optional<QJsonObject> object = JsonFields::object(json, problem);
    if (!object)
        return std::nullopt;
    RetriveTokenResponse response;
    if (!JsonFields::optionalString(*object, QStringLiteral("authToken"), response.authToken, problem) ||
        !JsonFields::optionalString(*object, QStringLiteral("userEmail"), response.userEmail, problem))
        return std::nullopt;
    return response;
}
