#include "ui/pages/RequestFailureLog.h"
#include "core/HttpError.h"

#include "QtTestPrinters.h"

#include <QNetworkReply>
#include <QUrl>

#include <gtest/gtest.h>

// What the blocking test logs for each way our HTTP session fails a request.
TEST(RequestFailureLog, OneEntryPerKindWithReasonAndCause)
{
    const QStringList html{QStringLiteral("text/html"), QStringLiteral("text/plain")};
    struct Case
    {
        const char* name;
        HttpError error;
        QStringList lines;
    };
    const Case cases[] = {
        {"invalid URL",
         HttpError::invalidURL(QUrl(QStringLiteral("https://"))),
         {QStringLiteral("Invalid URL: https://")}},
        {"cancelled", HttpError::explicitlyCancelled(), {QStringLiteral("explicitlyCancelled")}},
        {"session gone", HttpError::sessionDeinitialized(), {QStringLiteral("sessionDeinitialized")}},
        {"transport",
         HttpError::sessionTaskFailed(QNetworkReply::ConnectionRefusedError,
                                      QStringLiteral("Connection refused")),
         {QStringLiteral("sessionTaskFailed: Connection refused")}},
        {"certificate refused",
         HttpError::sessionTaskFailed(QNetworkReply::SslHandshakeFailedError,
                                      QStringLiteral("SSL handshake failed: The certificate has expired")),
         {QStringLiteral("serverTrustEvaluationFailed: SSL handshake failed: The certificate has expired")}},
        {"status",
         HttpError::unacceptableStatusCode(404),
         {QStringLiteral("Response validation failed: Response status code was unacceptable: 404."),
          QStringLiteral("Failure Reason: unacceptableStatusCode(code: 404)"),
          QStringLiteral("Response status code was unacceptable: 404")}},
        {"no content type",
         HttpError::missingContentType(html),
         {QStringLiteral(
              "Response validation failed: Response Content-Type was missing and acceptable content "
              "types (text/html,text/plain) do not match \"*/*\"."),
          QStringLiteral(
              "Failure Reason: missingContentType(acceptableContentTypes: [\"text/html\", \"text/plain\"])"),
          QStringLiteral("Content Type Missing: text/html, text/plain")}},
        {"wrong content type",
         HttpError::unacceptableContentType(html, QStringLiteral("image/png")),
         {QStringLiteral("Response validation failed: Response Content-Type \"image/png\" does not match any "
                         "acceptable types: text/html,text/plain."),
          QStringLiteral("Failure Reason: unacceptableContentType(acceptableContentTypes: [\"text/html\", "
                         "\"text/plain\"], responseContentType: \"image/png\")"),
          QStringLiteral("Response content type: image/png was unacceptable: text/html, text/plain")}},
        {"empty body",
         HttpError::inputDataNilOrZeroLength(),
         {QStringLiteral(
              "Response serialization failed: Response could not be serialized, input data was nil or zero "
              "length."),
          QStringLiteral("Failure Reason: inputDataNilOrZeroLength")}},
        {"undecodable text",
         HttpError::stringSerializationFailed(QStringLiteral("koi8-x")),
         {QStringLiteral(
              "Response serialization failed: String could not be serialized with encoding: koi8-x."),
          QStringLiteral("Failure Reason: stringSerializationFailed(encoding: koi8-x)")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RequestFailureLog::lines(c.error), c.lines);
    }
}
