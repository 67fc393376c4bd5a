#include "ApiRoutes.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonObject jsonBody(const httplib::Request& request)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object();
}

std::string field(const QJsonObject& body, const char* key)
{
    return body.value(QLatin1String(key)).toString().toStdString();
}

void json(httplib::Response& response, int status, const QJsonObject& body)
{
    response.status = status;
    response.set_content(QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(),
                         "application/json");
}

void error(httplib::Response& response, int status, const char* text)
{
    json(response, status, QJsonObject{{QStringLiteral("error"), QLatin1String(text)}});
}

// The e-mail and password of "Authorization: Basic ...".
std::optional<std::pair<std::string, std::string>> basicCredentials(const httplib::Request& request)
{
    const std::string header = request.get_header_value("Authorization");
    const std::string prefix = "Basic ";
    if (header.rfind(prefix, 0) != 0)
        return std::nullopt;
    const std::string decoded =
        QByteArray::fromBase64(QByteArray::fromStdString(header.substr(prefix.size()))).toStdString();
    const auto colon = decoded.find(':');
    if (colon == std::string::npos)
        return std::nullopt;
    return std::make_pair(decoded.substr(0, colon), decoded.substr(colon + 1));
}

bool hasValidBearer(const httplib::Request& request, const DemoAccounts& accounts)
{
    const std::string header = request.get_header_value("Authorization");
    const std::string prefix = "Bearer ";
    return header.rfind(prefix, 0) == 0 && accounts.isValidToken(header.substr(prefix.size()));
}

} // namespace

namespace ApiRoutes {

void install(Router& router, DemoAccounts& accounts)
{
    const std::string base = basePath;

    router.add("POST", base + "user/gettoken",
               [&accounts](const httplib::Request& request, httplib::Response& response) {
                   const auto credentials = basicCredentials(request);
                   const auto token =
                       credentials ? accounts.signIn(credentials->first, credentials->second) : std::nullopt;
                   if (!token) {
                       response.status = 401;
                       response.set_content("Invalid email or password", "text/plain");
                       return;
                   }
                   response.set_content(*token, "text/plain");
               });

    router.add("POST", base + "user/activation/email",
               [&accounts](const httplib::Request& request, httplib::Response& response) {
                   const QJsonObject body = jsonBody(request);
                   const std::string email = field(body, "email");
                   if (email.empty()) {
                       response.status = 400;
                       response.set_content("Email is required", "text/plain");
                       return;
                   }
                   accounts.requestActivation(field(body, "identifier"), email);
                   response.set_content("Activation e-mail sent", "text/plain");
               });

    router.add(
        "POST", base + "user/retrievetoken",
        [&accounts](const httplib::Request& request, httplib::Response& response) {
            const auto activation = accounts.takeActivation(field(jsonBody(request), "identifier"));
            if (!activation) {
                json(response, 200, QJsonObject{});
                return;
            }
            json(response, 200,
                 QJsonObject{{QStringLiteral("authToken"), QString::fromStdString(activation->first)},
                             {QStringLiteral("userEmail"), QString::fromStdString(activation->second)}});
        });

    router.add("POST", base + "me/deactivate",
               [&accounts](const httplib::Request& request, httplib::Response& response) {
                   if (!hasValidBearer(request, accounts))
                       return error(response, 401, "Unauthorized");
                   // Approval happens on the server; until a test scripts it, the request stays pending.
                   error(response, 403, "Deactivation request pending approval");
               });

    router.add("POST", base + "me/self_moderation/add",
               [&accounts](const httplib::Request& request, httplib::Response& response) {
                   if (!hasValidBearer(request, accounts))
                       return error(response, 401, "Unauthorized");
                   const std::string url = field(jsonBody(request), "url");
                   if (url.empty())
                       return error(response, 400, "url is required");
                   const std::string token = request.get_header_value("Authorization").substr(7);
                   if (!accounts.addSelfModeratedSite(token, url))
                       return error(response, 500, "Cannot store the site");
                   json(response, 200, QJsonObject{});
               });
}

} // namespace ApiRoutes
