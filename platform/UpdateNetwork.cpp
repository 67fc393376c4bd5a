#include "platform/UpdateNetwork.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>

UpdateNetwork::UpdateNetwork(QNetworkAccessManager* manager, QList<QSslCertificate> extraRootCertificates)
    : m_source([access = Access{manager, std::move(extraRootCertificates)}] { return access; })
{
}

UpdateNetwork::UpdateNetwork(std::function<Access()> source) : m_source(std::move(source))
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
    const Access access = m_source();
    if (url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        if (!access.extraRootCertificates.isEmpty())
            tls.addCaCertificates(access.extraRootCertificates);
        request.setSslConfiguration(tls);
    }
    return access.manager->get(request);
}
