#include "core/HttpError.h"

HttpError HttpError::invalidURL(const QUrl& url)
{
    HttpError error(Kind::invalidURL, Reason::none);
    error.m_url = url;
    return error;
}

HttpError HttpError::explicitlyCancelled()
{
    return HttpError(Kind::explicitlyCancelled, Reason::none);
}

HttpError HttpError::sessionDeinitialized()
{
    return HttpError(Kind::sessionDeinitialized, Reason::none);
}

HttpError HttpError::sessionTaskFailed(int networkError, const QString& description)
{
    HttpError error(Kind::sessionTaskFailed, Reason::none);
    error.m_networkError = networkError;
    error.m_underlying = description;
    return error;
}

HttpError HttpError::missingContentType(const QStringList& acceptableContentTypes)
{
    HttpError error(Kind::responseValidationFailed, Reason::missingContentType);
    error.m_acceptableContentTypes = acceptableContentTypes;
    return error;
}

HttpError HttpError::unacceptableContentType(const QStringList& acceptableContentTypes,
                                             const QString& responseContentType)
{
    HttpError error(Kind::responseValidationFailed, Reason::unacceptableContentType);
    error.m_acceptableContentTypes = acceptableContentTypes;
    error.m_responseContentType = responseContentType;
    return error;
}

HttpError HttpError::unacceptableStatusCode(int statusCode)
{
    HttpError error(Kind::responseValidationFailed, Reason::unacceptableStatusCode);
    error.m_statusCode = statusCode;
    return error;
}

HttpError HttpError::inputDataNilOrZeroLength()
{
    return HttpError(Kind::responseSerializationFailed, Reason::inputDataNilOrZeroLength);
}

HttpError HttpError::invalidEmptyResponse(const QString& typeName)
{
    HttpError error(Kind::responseSerializationFailed, Reason::invalidEmptyResponse);
    error.m_underlying = typeName;
    return error;
}

HttpError HttpError::stringSerializationFailed(const QString& encoding)
{
    HttpError error(Kind::responseSerializationFailed, Reason::stringSerializationFailed);
    error.m_underlying = encoding;
    return error;
}

HttpError HttpError::decodingFailed(const QString& description)
{
    HttpError error(Kind::responseSerializationFailed, Reason::decodingFailed);
    error.m_underlying = description;
    return error;
}

QString HttpError::errorDescription() const
{
    const QString acceptable = m_acceptableContentTypes.join(QLatin1Char(','));
    switch (m_kind) {
    case Kind::invalidURL:
        return QStringLiteral("URL is not valid: ") + m_url.toString();
    case Kind::explicitlyCancelled:
        return QStringLiteral("Request explicitly cancelled.");
    case Kind::sessionDeinitialized:
        return QStringLiteral(
            "Session was invalidated without error, so it was likely deinitialized unexpectedly.");
    case Kind::sessionTaskFailed:
        return QStringLiteral("URLSessionTask failed with error: ") + m_underlying;
    case Kind::responseValidationFailed:
        switch (m_reason) {
        case Reason::missingContentType:
            return QStringLiteral("Response Content-Type was missing and acceptable content types (%1) do "
                                  "not match \"*/*\".")
                .arg(acceptable);
        case Reason::unacceptableContentType:
            return QStringLiteral("Response Content-Type \"%1\" does not match any acceptable types: %2.")
                .arg(m_responseContentType, acceptable);
        default:
            return QStringLiteral("Response status code was unacceptable: %1.").arg(m_statusCode);
        }
    case Kind::responseSerializationFailed:
        switch (m_reason) {
        case Reason::inputDataNilOrZeroLength:
            return QStringLiteral("Response could not be serialized, input data was nil or zero length.");
        case Reason::invalidEmptyResponse:
            return QStringLiteral("Empty response could not be serialized to type: %1. Use Empty as the "
                                  "expected type for such responses.")
                .arg(m_underlying);
        case Reason::stringSerializationFailed:
            return QStringLiteral("String could not be serialized with encoding: %1.").arg(m_underlying);
        default:
            return QStringLiteral("Response could not be decoded because of error:\n") + m_underlying;
        }
    }
    return {};
}

QString HttpError::reasonDescription() const
{
    const QString acceptable = QStringLiteral("[\"") +
                               m_acceptableContentTypes.join(QStringLiteral("\", \"")) +
                               QStringLiteral("\"]");
    switch (m_reason) {
    case Reason::none:
        return {};
    case Reason::missingContentType:
        return QStringLiteral("missingContentType(acceptableContentTypes: %1)").arg(acceptable);
    case Reason::unacceptableContentType:
        return QStringLiteral(
                   "unacceptableContentType(acceptableContentTypes: %1, responseContentType: \"%2\")")
            .arg(acceptable, m_responseContentType);
    case Reason::unacceptableStatusCode:
        return QStringLiteral("unacceptableStatusCode(code: %1)").arg(m_statusCode);
    case Reason::inputDataNilOrZeroLength:
        return QStringLiteral("inputDataNilOrZeroLength");
    case Reason::invalidEmptyResponse:
        return QStringLiteral("invalidEmptyResponse(type: \"%1\")").arg(m_underlying);
    case Reason::stringSerializationFailed:
        return QStringLiteral("stringSerializationFailed(encoding: %1)").arg(m_underlying);
    case Reason::decodingFailed:
        return QStringLiteral("decodingFailed(error: %1)").arg(m_underlying);
    }
    return {};
}
