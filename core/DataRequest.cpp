#include "core/DataRequest.h"

#include "core/Log.h"
#include "platform/MainQueue.h"

#include <QNetworkReply>
#include <QStringConverter>
#include <QStringDecoder>

namespace {

struct MimeType
{
    QString type;
    QString subtype;

    static std::optional<MimeType> parse(const QString& text)
    {
        const QString bare = text.section(QLatin1Char(';'), 0, 0).trimmed().toLower();
        const qsizetype slash = bare.indexOf(QLatin1Char('/'));
        if (bare.isEmpty() || slash < 0)
            return std::nullopt;
        return MimeType{bare.left(slash), bare.mid(bare.lastIndexOf(QLatin1Char('/')) + 1)};
    }
    bool isWildcard() const { return type == QLatin1String("*") && subtype == QLatin1String("*"); }
    bool matches(const MimeType& other) const
    {
        return (type == other.type || type == QLatin1String("*")) &&
               (subtype == other.subtype || subtype == QLatin1String("*"));
    }
};

QString escapedQuotes(QString text)
{
    return text.replace(QLatin1Char('"'), QStringLiteral("\\\""));
}

} // namespace

DataRequest::DataRequest(QNetworkRequest request, QByteArray method, QByteArray body)
    : m_request(std::move(request)), m_method(std::move(method)), m_body(std::move(body)),
      m_cURL(makeCURLDescription(m_request, m_method, m_body))
{
}

DataRequest& DataRequest::validate()
{
    std::lock_guard lock(m_mutex);
    m_validate = true;
    return *this;
}

DataRequest& DataRequest::response(std::function<void(const DataResponse<QByteArray>&)> handler)
{
    appendHandler([this, handler = std::move(handler)](const Outcome& outcome) {
        DataResponse<QByteArray> reply = makeResponse<QByteArray>(outcome);
        if (!reply.error)
            reply.value = outcome.data;
        handler(reply);
    });
    return *this;
}

DataRequest& DataRequest::responseString(std::function<void(const DataResponse<QString>&)> handler)
{
    appendHandler([this, handler = std::move(handler)](const Outcome& outcome) {
        DataResponse<QString> reply = makeResponse<QString>(outcome);
        if (!reply.error) {
            if (outcome.data.isEmpty()) {
                if (emptyResponseAllowed(outcome))
                    reply.value = QString();
                else
                    reply.error = HttpError::inputDataNilOrZeroLength();
            } else {
                const QString charset = outcome.response ? outcome.response->textEncodingName() : QString();
                QStringDecoder decoder(charset.isEmpty() ? "ISO-8859-1" : charset.toLatin1().constData());
                if (!decoder.isValid()) // a charset we do not know: as if none were named
                    decoder = QStringDecoder(QStringDecoder::Latin1);
                const QString text = decoder.decode(outcome.data);
                if (decoder.hasError())
                    reply.error = HttpError::stringSerializationFailed(
                        charset.isEmpty() ? QStringLiteral("iso-8859-1") : charset);
                else
                    reply.value = text;
            }
        }
        handler(reply);
    });
    return *this;
}

void DataRequest::cancel()
{
    if (!MainQueue::isMainThread()) {
        MainQueue::async([self = shared_from_this()] { self->cancel(); });
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_outcome || m_cancelled)
            return;
        m_cancelled = true;
    }
    // A request not yet started finishes when the session gets to it.
    if (m_reply)
        m_reply->abort();
}

bool DataRequest::isFinished() const
{
    std::lock_guard lock(m_mutex);
    return m_outcome.has_value();
}

bool DataRequest::isCancelled() const
{
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

void DataRequest::appendHandler(std::function<void(const Outcome&)> handler)
{
    std::unique_lock lock(m_mutex);
    if (!m_outcome) {
        m_handlers.push_back(std::move(handler));
        return;
    }
    Outcome outcome = *m_outcome;
    lock.unlock();
    MainQueue::async(
        [self = shared_from_this(), handler = std::move(handler), outcome] { handler(outcome); });
}

void DataRequest::finish(Outcome outcome)
{
    std::vector<std::function<void(const Outcome&)>> handlers;
    {
        std::lock_guard lock(m_mutex);
        if (m_outcome)
            return;
        m_outcome = outcome;
        handlers.swap(m_handlers);
    }
    for (auto& handler : handlers)
        MainQueue::async(
            [self = shared_from_this(), handler = std::move(handler), outcome] { handler(outcome); });
}

std::optional<HttpError> DataRequest::failure(const Outcome& outcome) const
{
    if (outcome.error)
        return outcome.error;
    bool validate = false;
    {
        std::lock_guard lock(m_mutex);
        validate = m_validate;
    }
    return validate ? validationError(outcome) : std::nullopt;
}

std::optional<HttpError> DataRequest::validationError(const Outcome& outcome) const
{
    if (!outcome.response)
        return std::nullopt;
    const HttpResponse& response = *outcome.response;
    if (response.statusCode < 200 || response.statusCode > 299)
        return HttpError::unacceptableStatusCode(response.statusCode);

    // Without a body there is nothing whose type could be wrong.
    if (outcome.data.isEmpty())
        return std::nullopt;
    const QByteArray accept = m_request.rawHeader("Accept");
    QStringList acceptable;
    for (const QString& part : QString::fromLatin1(accept).split(QLatin1Char(',')))
        acceptable << part;
    if (accept.isEmpty())
        acceptable = {QStringLiteral("*/*")};
    QStringList sortedAcceptable = acceptable;
    sortedAcceptable.sort();

    const std::optional<MimeType> responseType = MimeType::parse(response.mimeType());
    if (!responseType) {
        for (const QString& candidate : acceptable) {
            const auto type = MimeType::parse(candidate);
            if (type && type->isWildcard())
                return std::nullopt;
        }
        return HttpError::missingContentType(sortedAcceptable);
    }
    for (const QString& candidate : acceptable) {
        const auto type = MimeType::parse(candidate);
        if (type && type->matches(*responseType))
            return std::nullopt;
    }
    return HttpError::unacceptableContentType(sortedAcceptable, response.mimeType());
}

bool DataRequest::emptyResponseAllowed(const Outcome& outcome) const
{
    if (m_method == "HEAD")
        return true;
    return outcome.response && (outcome.response->statusCode == 204 || outcome.response->statusCode == 205);
}

void DataRequest::logDecodingFailure(const QString& problem) const
{
    log(QStringLiteral("HttpSession: the reply of ") + url().toString() +
        QStringLiteral(" could not be decoded: ") + problem);
}

QString DataRequest::makeCURLDescription(const QNetworkRequest& request, const QByteArray& method,
                                         const QByteArray& body)
{
    QStringList components{QStringLiteral("$ curl -v"), QStringLiteral("-X ") + QString::fromLatin1(method)};
    for (const QByteArray& name : request.rawHeaderList()) {
        if (name.compare("Cookie", Qt::CaseInsensitive) == 0)
            continue;
        components << QStringLiteral("-H \"%1: %2\"")
                          .arg(QString::fromLatin1(name),
                               escapedQuotes(QString::fromUtf8(request.rawHeader(name))));
    }
    if (!body.isEmpty()) {
        QString text = QString::fromUtf8(body);
        text.replace(QStringLiteral("\\\""), QStringLiteral("\\\\\""));
        components << QStringLiteral("-d \"") + escapedQuotes(text) + QLatin1Char('"');
    }
    components << QLatin1Char('"') + request.url().toString(QUrl::FullyEncoded) + QLatin1Char('"');
    return components.join(QStringLiteral(" \\\n\t"));
}
