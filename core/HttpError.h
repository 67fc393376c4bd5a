#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// Why a request failed, in the categories the pages report: a request that could not be
// made, a transport failure, a response the validation refused, a body that could not be
// serialised, a cancelled request, or a session that went away underneath it.
class HttpError
{
public:
    enum class Kind
    {
        invalidURL,
        explicitlyCancelled,
        sessionDeinitialized,
        sessionTaskFailed,
        responseValidationFailed,
        responseSerializationFailed,
    };
    enum class Reason
    {
        none,
        // validation
        missingContentType,
        unacceptableContentType,
        unacceptableStatusCode,
        // serialisation
        inputDataNilOrZeroLength,
        invalidEmptyResponse,
        stringSerializationFailed,
        decodingFailed,
    };

    static HttpError invalidURL(const QUrl& url);
    static HttpError explicitlyCancelled();
    static HttpError sessionDeinitialized();
    // A transport failure: no connection, TLS refused, time-out. networkError is the
    // QNetworkReply::NetworkError code, description its text.
    static HttpError sessionTaskFailed(int networkError, const QString& description);
    static HttpError missingContentType(const QStringList& acceptableContentTypes);
    static HttpError unacceptableContentType(const QStringList& acceptableContentTypes,
                                             const QString& responseContentType);
    static HttpError unacceptableStatusCode(int statusCode);
    static HttpError inputDataNilOrZeroLength();
    static HttpError invalidEmptyResponse(const QString& typeName);
    static HttpError stringSerializationFailed(const QString& encoding);
    static HttpError decodingFailed(const QString& description);

    Kind kind() const { return m_kind; }
    Reason reason() const { return m_reason; }
    QUrl url() const { return m_url; }
    int networkError() const { return m_networkError; }
    int statusCode() const { return m_statusCode; }
    QStringList acceptableContentTypes() const { return m_acceptableContentTypes; }
    QString responseContentType() const { return m_responseContentType; }
    // The underlying error's description (transport error, decoding error, encoding name).
    QString underlyingDescription() const { return m_underlying; }

    bool isSessionTaskError() const { return m_kind == Kind::sessionTaskFailed; }
    bool isResponseValidationError() const { return m_kind == Kind::responseValidationFailed; }
    bool isResponseSerializationError() const { return m_kind == Kind::responseSerializationFailed; }

    // One readable sentence for the log and for the user.
    QString errorDescription() const;
    // The reason's name ("unacceptableStatusCode(code: 404)"), for "Failure Reason: " lines.
    QString reasonDescription() const;

private:
    HttpError(Kind kind, Reason reason) : m_kind(kind), m_reason(reason) {}

    Kind m_kind;
    Reason m_reason;
    QUrl m_url;
    int m_networkError = 0;
    int m_statusCode = 0;
    QStringList m_acceptableContentTypes;
    QString m_responseContentType;
    QString m_underlying;
};
