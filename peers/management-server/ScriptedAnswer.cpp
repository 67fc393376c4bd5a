#include "ScriptedAnswer.h"

#include <QByteArray>
#include <QJsonValue>

std::optional<ScriptedAnswer> ScriptedAnswer::fromJson(const QJsonObject& object, std::string* problem)
{
    ScriptedAnswer answer;
    const auto text = [&](const char* key, std::string& out) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            return true;
        if (!value.isString()) {
            *problem = std::string(key) + " must be a text";
            return false;
        }
        out = value.toString().toStdString();
        return true;
    };
    if (!text("method", answer.method) || !text("body", answer.body) ||
        !text("contentType", answer.contentType))
        return std::nullopt;
    // Bodies that are not UTF-8 travel in Base64.
    std::string base64;
    if (!text("bodyBase64", base64))
        return std::nullopt;
    if (!base64.empty())
        answer.body = QByteArray::fromBase64(QByteArray::fromStdString(base64)).toStdString();
    const QJsonValue status = object.value(QLatin1String("status"));
    if (!status.isUndefined()) {
        if (!status.isDouble() || status.toInt() < 100 || status.toInt() > 599) {
            *problem = "status must be a number from 100 to 599";
            return std::nullopt;
        }
        answer.status = status.toInt();
    }
    const QJsonValue delay = object.value(QLatin1String("delayMs"));
    if (!delay.isUndefined()) {
        if (!delay.isDouble() || delay.toInt() < 0 || delay.toInt() > 120'000) {
            *problem = "delayMs must be a number from 0 to 120000";
            return std::nullopt;
        }
        answer.delayMs = delay.toInt();
    }
    const QJsonValue headers = object.value(QLatin1String("headers"));
    if (!headers.isUndefined()) {
        if (!headers.isObject()) {
            *problem = "headers must be an object of texts";
            return std::nullopt;
        }
        const QJsonObject fields = headers.toObject();
        for (auto it = fields.begin(); it != fields.end(); ++it) {
            if (!it.value().isString()) {
                *problem = "headers must be an object of texts";
                return std::nullopt;
            }
            answer.headers.emplace_back(it.key().toStdString(), it.value().toString().toStdString());
        }
    }
    return answer;
}

void ScriptedAnswer::apply(httplib::Response& response) const
{
    response.status = status;
    for (const auto& [name, value] : headers)
        response.set_header(name, value);
    // cpp-httplib names text/plain for a body without a type; an empty field is as close
    // to "no type" as it lets us come.
    if (!contentType.empty() || !body.empty())
        response.set_header("Content-Type", contentType);
    response.body = body;
}
