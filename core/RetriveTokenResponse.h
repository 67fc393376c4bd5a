#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The retrieve-token reply: both members optional ("authToken", "userEmail").
struct RetriveTokenResponse
{
    std::optional<QString> authToken;
    std::optional<QString> userEmail;

    // A JSON object whose members, when present and not null, are texts; anything else
    // does not decode (problem says why).
    static std::optional<RetriveTokenResponse> decode(const QByteArray& json, QString* problem = nullptr);
};
