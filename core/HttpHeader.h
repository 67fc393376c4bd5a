#pragma once

#include <QString>

// One HTTP header field, with the constructors for the fields the program sends.
struct HttpHeader
{
    QString name;
    QString value;

    // "Basic " and the Base64 of "username:password".
    static HttpHeader authorization(const QString& username, const QString& password);
    // "Bearer " and the token (nothing after the blank when the token is empty).
    static HttpHeader authorization(const QString& bearerToken);
    static HttpHeader accept(const QString& value);
    static HttpHeader contentType(const QString& value);
    static HttpHeader userAgent(const QString& value);

    bool operator==(const HttpHeader&) const = default;
};
