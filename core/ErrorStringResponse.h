#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The server's error text in a reply body: {"error": "..."}.
struct ErrorStringResponse
{
    std::optional<QString> error;

    // A JSON object whose "error" member, when present and not null, is a text.
    static std::optional<ErrorStringResponse> decode(const QByteArray& json, QString* problem = nullptr);
};
