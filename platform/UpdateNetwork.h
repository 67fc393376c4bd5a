#pragma once

#include <QList>
#include <QSslCertificate>
#include <QUrl>

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

    UpdateNetwork(QNetworkAccessManager* manager, QList<QSslCertificate> extraRootCertificates);

    QNetworkAccessManager* manager() const { return m_manager; }
    QList<QSslCertificate> extraRootCertificates() const { return m_extraRoots; }

    // Starts a GET; redirects are followed only to the same or a safer scheme. The caller
    // owns the reply.
    QNetworkReply* get(const QUrl& url) const;

private:
    QNetworkAccessManager* m_manager;
    QList<QSslCertificate> m_extraRoots;
};
