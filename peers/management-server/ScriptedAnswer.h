#pragma once

#include <httplib.h>

#include <QJsonObject>

#include <optional>
#include <string>
#include <utility>
#include <vector>

// An answer a test scripts for one path: status, body, content type, extra header fields
// and a delay before answering.
struct ScriptedAnswer
{
    std::string method; // empty: any method
    int status = 200;
    std::string body;
    std::string contentType = "text/plain"; // empty: no Content-Type field
    std::vector<std::pair<std::string, std::string>> headers;
    int delayMs = 0;

    // {"method", "status", "body" or "bodyBase64", "contentType", "headers": {name: value}, "delayMs"}
    static std::optional<ScriptedAnswer> fromJson(const QJsonObject& object, std::string* problem);
    bool matches(const std::string& requestMethod) const { return method.empty() || method == requestMethod; }
    void apply(httplib::Response& response) const;
};
