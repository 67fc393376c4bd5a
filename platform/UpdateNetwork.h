#pragma once

#include <QList>
#include <QSslCertificate>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

// How the updater reaches the network: the program's HTTP session's network access manager
// (so feed and archive requests share its connections) and the same TLS trust (the system's
// roots plus the extra ones the session trusts). The manager lives on the main thread and
// must outlive the updater.
class UpdateNetwork
{
public:
    static constexpr int transferTimeoutMilliseconds = 60'000;

    struct Access
    {
        QNetworkAccessManager* manager = nullptr;
        QList<QSslCertificate> extraRootCertificates;
    };

    UpdateNetwork(QNetworkAccessManager* manager, QList<QSslCertificate> extraRootCertificates);
    // Asks for the manager at each request, so that making an updater does not create the
    // program's HTTP session before its settings are final.
    explicit UpdateNetwork(std::function<Access()> source);

    // Starts a GET; redirects are followed only to the same or a safer scheme. The caller
    // owns the reply.
    QNetworkReply* get(const QUrl& url) const;

private:
    std::function<Access()> m_source;
};
