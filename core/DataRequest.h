#pragma once

#include "core/DataResponse.h"
#include "core/HttpError.h"
#include "core/HttpResponse.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QNetworkRequest>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <typeinfo>
#include <vector>

class QNetworkReply;

// One request of an HttpSession. Chain what to do with it right where it is made:
//     session.post(url, parameters, headers)->validate().responseString([](auto& reply) {...});
// Handlers run on the main thread, once the request has finished, in the order they were
// added; a handler added after the finish runs too. validate() applies to every handler.
class DataRequest : public std::enable_shared_from_this<DataRequest>
{
public:
    // decode(body, &problem): the value, or nothing with a description of the problem.
    template <typename T>
    using Decoder = std::function<std::optional<T>(const QByteArray& data, QString* problem)>;

    DataRequest(QNetworkRequest request, QByteArray method, QByteArray body);

    // Fails the response when its status is outside 200-299 or when it has a body whose
    // content type the request's Accept header does not accept.
    DataRequest& validate();
    // The body as it came; an empty body is a success.
    DataRequest& response(std::function<void(const DataResponse<QByteArray>&)> handler);
    // The body as text in the charset the reply names, else ISO Latin 1. An empty body is a
    // failure, except for status 204 or 205 and HEAD requests, which give "".
    DataRequest& responseString(std::function<void(const DataResponse<QString>&)> handler);
    // The body decoded by T::decode(const QByteArray&, QString* problem). An empty body is
    // a failure.
    template <typename T> DataRequest& responseDecodable(std::function<void(const DataResponse<T>&)> handler)
    {
        return responseDecodable<T>(
            [](const QByteArray& data, QString* problem) { return T::decode(data, problem); },
            std::move(handler));
    }
    template <typename T>
    DataRequest& responseDecodable(Decoder<T> decode, std::function<void(const DataResponse<T>&)> handler);

    // Stops the request; its handlers get an explicitlyCancelled error.
    void cancel();

    const QNetworkRequest& request() const { return m_request; }
    QString method() const { return QString::fromLatin1(m_method); }
    QUrl url() const { return m_request.url(); }
    QByteArray body() const { return m_body; }
    // A curl command line that repeats the request.
    QString cURLDescription() const { return m_cURL; }
    bool isFinished() const;

private:
    friend class HttpSession;

    struct Outcome
    {
        std::optional<HttpResponse> response;
        QByteArray data;
        std::optional<HttpError> error; // the request's own error (transport, cancel, URL)
        double duration = 0;
    };

    void appendHandler(std::function<void(const Outcome&)> handler);
    void finish(Outcome outcome);
    bool isCancelled() const;
    // The request's own error, else the validation's.
    std::optional<HttpError> failure(const Outcome& outcome) const;
    std::optional<HttpError> validationError(const Outcome& outcome) const;
    bool emptyResponseAllowed(const Outcome& outcome) const;
    void logDecodingFailure(const QString& problem) const;
    template <typename T> DataResponse<T> makeResponse(const Outcome& outcome) const
    {
        DataResponse<T> reply;
        reply.request = m_request;
        reply.response = outcome.response;
        reply.data = outcome.data;
        reply.duration = outcome.duration;
        reply.error = failure(outcome);
        return reply;
    }
    static QString makeCURLDescription(const QNetworkRequest& request, const QByteArray& method,
                                       const QByteArray& body);

    const QNetworkRequest m_request;
    const QByteArray m_method;
    const QByteArray m_body;
    const QString m_cURL;

    mutable std::mutex m_mutex;
    bool m_validate = false;
    bool m_cancelled = false;
    std::optional<Outcome> m_outcome;
    std::vector<std::function<void(const Outcome&)>> m_handlers;

    // Main thread only, used by the session.
    QPointer<QNetworkReply> m_reply;
    QElapsedTimer m_timer;
    bool m_tooLarge = false;
};

template <typename T>
DataRequest& DataRequest::responseDecodable(Decoder<T> decode,
                                            std::function<void(const DataResponse<T>&)> handler)
{
    appendHandler([this, decode = std::move(decode), handler = std::move(handler)](const Outcome& outcome) {
        DataResponse<T> reply = makeResponse<T>(outcome);
        if (!reply.error) {
            if (outcome.data.isEmpty()) {
                reply.error = emptyResponseAllowed(outcome)
                                  ? HttpError::invalidEmptyResponse(QString::fromLatin1(typeid(T).name()))
                                  : HttpError::inputDataNilOrZeroLength();
            } else {
                QString problem;
                reply.value = decode(outcome.data, &problem);
                if (!reply.value) {
                    reply.error = HttpError::decodingFailed(
                        problem.isEmpty() ? QStringLiteral("The data is not in the expected format.")
                                          : problem);
                    logDecodingFailure(reply.error->underlyingDescription());
                }
            }
        }
        handler(reply);
    });
    return *this;
}
