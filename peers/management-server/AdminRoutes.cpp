#include "AdminRoutes.h"

#include "ApiRoutes.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace {

void reply(httplib::Response& response, int status, const QJsonDocument& body)
{
    response.status = status;
    response.set_content(body.toJson(QJsonDocument::Compact).toStdString(), "application/json");
}

void ok(httplib::Response& response)
{
    reply(response, 200, QJsonDocument(QJsonObject{{QStringLiteral("ok"), true}}));
}

void bad(httplib::Response& response, const std::string& problem)
{
    reply(response, 400,
          QJsonDocument(QJsonObject{{QStringLiteral("error"), QString::fromStdString(problem)}}));
}

std::optional<QJsonObject> objectBody(const httplib::Request& request, httplib::Response& response)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(request.body), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        bad(response, "the body must be a JSON object");
        return std::nullopt;
    }
    return document.object();
}

} // namespace

namespace AdminRoutes {

void install(httplib::Server& server, AnswerScript& script, RecordedRequests& records, DemoAccounts& accounts)
{
    server.Post("/__peer/script", [&script](const httplib::Request& request, httplib::Response& response) {
        const auto body = objectBody(request, response);
        if (!body)
            return;
        std::string path = body->value(QStringLiteral("path")).toString().toStdString();
        if (path.empty())
            return bad(response, "path is required");
        if (path.front() != '/')
            path = ApiRoutes::basePath + path;
        std::string problem;
        const auto answer = ScriptedAnswer::fromJson(*body, &problem);
        if (!answer)
            return bad(response, problem);
        if (body->value(QStringLiteral("once")).toBool())
            script.enqueue(path, *answer);
        else
            script.setStanding(path, *answer);
        ok(response);
    });

    server.Get("/__peer/requests", [&records](const httplib::Request&, httplib::Response& response) {
        reply(response, 200, QJsonDocument(records.toJson()));
    });

    server.Post("/__peer/reset",
                [&script, &records, &accounts](const httplib::Request&, httplib::Response& response) {
                    script.clear();
                    records.clear();
                    accounts.reset();
                    ok(response);
                });

    server.Post("/__peer/account", [&accounts](const httplib::Request& request, httplib::Response& response) {
        const auto body = objectBody(request, response);
        if (!body)
            return;
        const std::string email = body->value(QStringLiteral("email")).toString().toStdString();
        const std::string token = body->value(QStringLiteral("token")).toString().toStdString();
        if (email.empty() || token.empty())
            return bad(response, "email and token are required");
        accounts.add(email, body->value(QStringLiteral("password")).toString().toStdString(), token);
        ok(response);
    });
}

} // namespace AdminRoutes
