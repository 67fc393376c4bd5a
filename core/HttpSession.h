#pragma once

#include "core/DataRequest.h"
#include "core/HttpHeaders.h"
#include "core/HttpRequestRecord.h"
#include "core/ServerTrustManager.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSslCertificate>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

// A thin HTTP client over QNetworkAccessManager: requests with header lists, JSON or
// URL-encoded parameters, redirects followed, replies handed to the requester on the main
// thread, every request announced on HttpEvents. The session lives on the main thread;
// requests made on other threads are started there.
//
// Trust: hosts listed in the trust manager skip certificate evaluation; every other host
// gets the default evaluation, with the extra root certificates trusted besides the
// system's.
class HttpSession : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 maximumBodySize = 64 * 1024 * 1024;
    static constexpr int timeoutMilliseconds = 60'000;

    explicit HttpSession(ServerTrustManager trustManager = {},
                         QList<QSslCertificate> extraRootCertificates = {},
                         HttpHeaders sessionHeaders = HttpHeaders::defaults(), QObject* parent = nullptr);
    ~HttpSession() override; // requests still running finish with sessionDeinitialized

    // POST with the parameters as a JSON object (Content-Type application/json unless the
    // headers name one).
    std::shared_ptr<DataRequest> post(const QUrl& url, const QMap<QString, QString>& parameters,
                                      const HttpHeaders& headers = {});
    std::shared_ptr<DataRequest> post(const QUrl& url, const QJsonObject& parameters,
                                      const HttpHeaders& headers = {});
    // GET with the parameters URL-encoded into the query, after any query the URL has.
    std::shared_ptr<DataRequest> get(const QUrl& url, const QMap<QString, QString>& parameters = {},
                                     const HttpHeaders& headers = {});
    // Any method with a ready-made body.
    std::shared_ptr<DataRequest> request(const QUrl& url, const QByteArray& method,
                                         const HttpHeaders& headers = {}, const QByteArray& body = {});

    const ServerTrustManager& trustManager() const { return m_trustManager; }
    QList<QSslCertificate> extraRootCertificates() const { return m_extraRoots; }
    HttpHeaders sessionHeaders() const { return m_sessionHeaders; }
    QNetworkAccessManager* networkAccessManager() const { return m_manager; }

    // The certificates of the PEM files in a colon-separated list; unreadable files are
    // logged and skipped.
    static QList<QSslCertificate> certificatesFromPemFiles(const QString& paths);

private:
    void start(const std::shared_ptr<DataRequest>& request);
    void complete(QNetworkReply* reply);
    void finishWithoutTask(const std::shared_ptr<DataRequest>& request, const HttpError& error);
    static HttpRequestRecordPtr record(const DataRequest& request, const DataRequest::Outcome* outcome);

    QNetworkAccessManager* m_manager;
    ServerTrustManager m_trustManager;
    QList<QSslCertificate> m_extraRoots;
    HttpHeaders m_sessionHeaders;
    QHash<QNetworkReply*, std::shared_ptr<DataRequest>> m_inFlight;
};
