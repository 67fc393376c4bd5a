#include "core/HttpHeader.h"

HttpHeader HttpHeader::authorization(const QString& username, const QString& password)
{
    const QByteArray credential = (username + QLatin1Char(':') + password).toUtf8().toBase64();
    return {QStringLiteral("Authorization"), QStringLiteral("Basic ") + QString::fromLatin1(credential)};
}

HttpHeader HttpHeader::authorization(const QString& bearerToken)
{
    return {QStringLiteral("Authorization"), QStringLiteral("Bearer ") + bearerToken};
}

HttpHeader HttpHeader::accept(const QString& value)
{
    return {QStringLiteral("Accept"), value};
}

HttpHeader HttpHeader::contentType(const QString& value)
{
    return {QStringLiteral("Content-Type"), value};
}

HttpHeader HttpHeader::userAgent(const QString& value)
{
    return {QStringLiteral("User-Agent"), value};
}
