#include "platform/UpdateNetwork.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>

UpdateNetwork::UpdateNetwork(QNetworkAccessManager* manager, QList<QSslCertificate> extraRootCertificates)
    : m_manager(manager), m_extraRoots(std::move(extraRootCertificates))
{
}

QNetworkReply* UpdateNetwork::get(const QUrl& url) const
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(transferTimeoutMilliseconds);
    // Archives are compressed already; a transparently inflated body would defeat the
    // length check.
    request.setRawHeader("Accept-Encoding", "identity");
    if (url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        if (!m_extraRoots.isEmpty())
            tls.addCaCertificates(m_extraRoots);
        request.setSslConfiguration(tls);
    }
    return m_manager->get(request);
}
