#include "core/HttpSession.h"

#include "core/HttpEvents.h"
#include "core/Log.h"
#include "core/UrlEncoding.h"
#include "platform/MainQueue.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QThread>

namespace {

bool isHttpUrl(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("https") || scheme == QLatin1String("http"));
}

// Errors of the connection itself, as opposed to those Qt derives from an HTTP status
// (content, server and "invalid operation" errors for 4xx and 5xx).
bool isTransportError(QNetworkReply::NetworkError error)
{
    const int code = static_cast<int>(error);
    return (code > 0 && code < 200) || error == QNetworkReply::ProtocolFailure;
}

QString taskErrorText(const HttpError& error)
{
    return error.kind() == HttpError::Kind::sessionTaskFailed ? error.underlyingDescription()
                                                              : error.errorDescription();
}

} // namespace

HttpSession::HttpSession(ServerTrustManager trustManager, QList<QSslCertificate> extraRootCertificates,
                         HttpHeaders sessionHeaders, QObject* parent)
    : QObject(parent), m_manager(new QNetworkAccessManager(this)), m_trustManager(std::move(trustManager)),
      m_extraRoots(std::move(extraRootCertificates)), m_sessionHeaders(std::move(sessionHeaders))
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!parent && app && thread() != app->thread())
        moveToThread(app->thread());
}

HttpSession::~HttpSession()
{
    const auto inFlight = m_inFlight;
    m_inFlight.clear();
    for (auto it = inFlight.cbegin(); it != inFlight.cend(); ++it) {
        QNetworkReply* reply = it.key();
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        DataRequest::Outcome outcome;
        outcome.error = HttpError::sessionDeinitialized();
        it.value()->finish(outcome);
    }
}

std::shared_ptr<DataRequest> HttpSession::post(const QUrl& url, const QMap<QString, QString>& parameters,
                                               const HttpHeaders& headers)
{
    QJsonObject object;
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it)
        object.insert(it.key(), it.value());
    return post(url, object, headers);
}

std::shared_ptr<DataRequest> HttpSession::post(const QUrl& url, const QJsonObject& parameters,
                                               const HttpHeaders& headers)
{
    HttpHeaders all = headers;
    if (!all.contains(QStringLiteral("Content-Type")))
        all.add(HttpHeader::contentType(QStringLiteral("application/json")));
    return request(url, "POST", all, QJsonDocument(parameters).toJson(QJsonDocument::Compact));
}

std::shared_ptr<DataRequest> HttpSession::get(const QUrl& url, const QMap<QString, QString>& parameters,
                                              const HttpHeaders& headers)
{
    QUrl target = url;
    if (!parameters.isEmpty()) {
        const QString existing = url.query(QUrl::FullyEncoded);
        const QString added = UrlEncoding::query(parameters);
        target.setQuery(existing.isEmpty() ? added : existing + QLatin1Char('&') + added);
    }
    return request(target, "GET", headers);
}

std::shared_ptr<DataRequest> HttpSession::request(const QUrl& url, const QByteArray& method,
                                                  const HttpHeaders& headers, const QByteArray& body)
{
    QNetworkRequest networkRequest(url);
    HttpHeaders all = m_sessionHeaders;
    for (const HttpHeader& header : headers)
        all.add(header);
    for (const HttpHeader& header : all)
        networkRequest.setRawHeader(header.name.toLatin1(), header.value.toUtf8());
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                QNetworkRequest::NoLessSafeRedirectPolicy);
    networkRequest.setTransferTimeout(timeoutMilliseconds);
    if (url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        if (!m_extraRoots.isEmpty())
            ssl.addCaCertificates(m_extraRoots);
        networkRequest.setSslConfiguration(ssl);
    }

    auto dataRequest = std::make_shared<DataRequest>(networkRequest, method.toUpper(), body);
    if (QThread::currentThread() == thread()) {
        start(dataRequest);
    } else {
        QPointer<HttpSession> self(this);
        QMetaObject::invokeMethod(
            this,
            [self, dataRequest] {
                if (self)
                    self->start(dataRequest);
            },
            Qt::QueuedConnection);
    }
    return dataRequest;
}

void HttpSession::start(const std::shared_ptr<DataRequest>& request)
{
    if (!isHttpUrl(request->url())) {
        finishWithoutTask(request, HttpError::invalidURL(request->url()));
        return;
    }
    if (request->isCancelled()) {
        finishWithoutTask(request, HttpError::explicitlyCancelled());
        return;
    }

    emit HttpEvents::shared()->requestDidResume(record(*request, nullptr));
    request->m_timer.start();
    QNetworkReply* reply = nullptr;
    if (request->m_method == "GET")
        reply = m_manager->get(request->request());
    else if (request->m_method == "POST")
        reply = m_manager->post(request->request(), request->body());
    else
        reply = m_manager->sendCustomRequest(request->request(), request->m_method, request->body());
    request->m_reply = reply;
    m_inFlight.insert(reply, request);

    connect(reply, &QNetworkReply::sslErrors, this, [this, reply](const QList<QSslError>&) {
        // The host of the current hop: a redirect may have led elsewhere.
        if (m_trustManager.skipsEvaluation(reply->url().host()))
            reply->ignoreSslErrors();
    });
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received, qint64 total) {
        if (received <= maximumBodySize && total <= maximumBodySize)
            return;
        if (auto request = m_inFlight.value(reply)) {
            request->m_tooLarge = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { complete(reply); });
}

void HttpSession::complete(QNetworkReply* reply)
{
    const std::shared_ptr<DataRequest> request = m_inFlight.take(reply);
    reply->deleteLater();
    if (!request)
        return;

    DataRequest::Outcome outcome;
    outcome.duration = double(request->m_timer.nsecsElapsed()) / 1e9;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        outcome.response = HttpResponse{status.toInt(), reply->url(), reply->rawHeaderPairs()};

    const QNetworkReply::NetworkError error = reply->error();
    if (request->isCancelled()) {
        outcome.error = HttpError::explicitlyCancelled();
    } else if (request->m_tooLarge) {
        outcome.error = HttpError::sessionTaskFailed(
            QNetworkReply::UnknownContentError,
            QStringLiteral("The response is larger than %1 bytes.").arg(maximumBodySize));
    } else if (error != QNetworkReply::NoError && (!outcome.response || isTransportError(error))) {
        // Our own transfer time-out is the only other way a reply gets cancelled.
        const QString text = error == QNetworkReply::OperationCanceledError
                                 ? QStringLiteral("The request timed out.")
                                 : reply->errorString();
        outcome.error = HttpError::sessionTaskFailed(error, text);
    }
    if (!request->m_tooLarge)
        outcome.data = reply->readAll();

    emit HttpEvents::shared()->requestDidFinish(record(*request, &outcome));
    request->finish(outcome);
}

void HttpSession::finishWithoutTask(const std::shared_ptr<DataRequest>& request, const HttpError& error)
{
    DataRequest::Outcome outcome;
    outcome.error = error;
    emit HttpEvents::shared()->requestDidFinish(record(*request, &outcome));
    request->finish(outcome);
}

HttpRequestRecordPtr HttpSession::record(const DataRequest& request, const DataRequest::Outcome* outcome)
{
    auto record = std::make_shared<HttpRequestRecord>();
    record->request = request.request();
    record->method = request.method();
    record->url = request.url();
    record->cURLDescription = request.cURLDescription();
    if (outcome) {
        record->hasMetrics = request.m_timer.isValid();
        record->duration = outcome->duration;
        if (outcome->error)
            record->error = outcome->error->kind() == HttpError::Kind::explicitlyCancelled
                                ? QStringLiteral("cancelled")
                                : taskErrorText(*outcome->error);
        if (outcome->response) {
            record->statusCode = outcome->response->statusCode;
            record->responseHeaders = outcome->response->headers;
        }
        if (!outcome->data.isEmpty())
            record->responseData = outcome->data;
    }
    return record;
}

QList<QSslCertificate> HttpSession::certificatesFromPemFiles(const QString& paths)
{
    QList<QSslCertificate> certificates;
    for (const QString& path : paths.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QList<QSslCertificate> found = QSslCertificate::fromPath(path, QSsl::Pem);
        if (found.isEmpty())
            log(QStringLiteral("HttpSession: no certificate could be read from ") + path);
        certificates += found;
    }
    return certificates;
}
