#include "ui/pages/RequestFailureLog.h"

#include "core/HttpError.h"
#include "core/Log.h"

#include <QNetworkReply>

namespace {

QString failureReason(const HttpError& error)
{
    return QStringLiteral("Failure Reason: ") + error.reasonDescription();
}

QString validationCause(const HttpError& error)
{
    const QString acceptable = error.acceptableContentTypes().join(QStringLiteral(", "));
    switch (error.reason()) {
    case HttpError::Reason::missingContentType:
        return QStringLiteral("Content Type Missing: ") + acceptable;
    case HttpError::Reason::unacceptableContentType:
        return QStringLiteral("Response content type: ") + error.responseContentType() +
               QStringLiteral(" was unacceptable: ") + acceptable;
    case HttpError::Reason::unacceptableStatusCode:
        return QStringLiteral("Response status code was unacceptable: ") +
               QString::number(error.statusCode());
    default:
        return QStringLiteral("customValidationFailed");
    }
}

} // namespace

namespace RequestFailureLog {

QStringList lines(const HttpError& error)
{
    switch (error.kind()) {
    case HttpError::Kind::invalidURL:
        return {QStringLiteral("Invalid URL: ") + error.url().toString()};
    case HttpError::Kind::explicitlyCancelled:
        return {QStringLiteral("explicitlyCancelled")};
    case HttpError::Kind::sessionDeinitialized:
        return {QStringLiteral("sessionDeinitialized")};
    case HttpError::Kind::sessionTaskFailed:
        // A certificate the evaluation refused ends the TLS handshake.
        if (error.networkError() == QNetworkReply::SslHandshakeFailedError)
            return {QStringLiteral("serverTrustEvaluationFailed: ") + error.underlyingDescription()};
        return {QStringLiteral("sessionTaskFailed: ") + error.underlyingDescription()};
    case HttpError::Kind::responseValidationFailed:
        return {QStringLiteral("Response validation failed: ") + error.errorDescription(),
                failureReason(error), validationCause(error)};
    case HttpError::Kind::responseSerializationFailed:
        return {QStringLiteral("Response serialization failed: ") + error.errorDescription(),
                failureReason(error)};
    }
    return {};
}

void write(const HttpError& error)
{
    for (const QString& line : lines(error))
        log(line);
}

} // namespace RequestFailureLog
