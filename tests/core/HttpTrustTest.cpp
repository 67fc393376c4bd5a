#include "core/ApiClient.h"
#include "core/HttpSession.h"

#include "HttpTestSupport.h"
#include "ManagementServerPeer.h"

#include <QNetworkReply>

#include <gtest/gtest.h>

TEST(ServerTrustManager, OnlyTheExactHostSkipsEvaluation)
{
    const ServerTrustManager trust({QStringLiteral("norvane.org")});
    EXPECT_TRUE(trust.skipsEvaluation(QStringLiteral("norvane.org")));
    EXPECT_TRUE(trust.skipsEvaluation(QStringLiteral("NORVANE.org")));
    EXPECT_FALSE(trust.skipsEvaluation(QStringLiteral("www.norvane.org")));
    EXPECT_FALSE(trust.skipsEvaluation(QStringLiteral("manage.norvane.org")));
    EXPECT_FALSE(trust.skipsEvaluation(QStringLiteral("norvane.org.evil.example")));
    EXPECT_FALSE(trust.skipsEvaluation(QString()));
    EXPECT_FALSE(ServerTrustManager({QString()}).skipsEvaluation(QString()));
}

TEST(HttpTrust, CertificatesAreEvaluatedForEveryHostButTheDisabledOne)
{
    // The peer's certificate is self-signed for 127.0.0.1 and localhost: it passes the
    // default evaluation only with its PEM among the trusted roots.
    ManagementServerPeer peer(false);
    ASSERT_TRUE(peer.isRunning());
    const QList<QSslCertificate> peerRoot = HttpSession::certificatesFromPemFiles(peer.certificatePath());
    ASSERT_EQ(peerRoot.size(), 1);

    const struct
    {
        const char* name;
        QString disabledHost;
        bool trustPeerRoot;
        bool succeeds;
    } cases[] = {
        {"disabled for exactly this host", QStringLiteral("127.0.0.1"), false, true},
        {"disabled for another host", QStringLiteral("localhost"), false, false},
        {"default evaluation, root unknown", QStringLiteral("norvane.org"), false, false},
        {"default evaluation, root trusted", QStringLiteral("norvane.org"), true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A fresh session each time: a manager remembers accepted connections per host.
        HttpSession session(ServerTrustManager({c.disabledHost}),
                            c.trustPeerRoot ? peerRoot : QList<QSslCertificate>());
        const auto reply = awaitString(session.get(peer.url(QStringLiteral("/Velmora/"))));
        ASSERT_TRUE(reply);
        if (c.succeeds) {
            EXPECT_EQ(reply->statusCode(), 404) << reply->errorText().toStdString();
        } else {
            ASSERT_TRUE(reply->error);
            EXPECT_EQ(reply->error->kind(), HttpError::Kind::sessionTaskFailed);
            EXPECT_EQ(reply->error->networkError(), QNetworkReply::SslHandshakeFailedError);
            EXPECT_TRUE(reply->hasNoResponse());
        }
    }
}

TEST(HttpTrust, ApiClientSessionSkipsEvaluationOnlyForTheServiceDomain)
{
    ManagementServerPeer peer(false);
    ASSERT_TRUE(peer.isRunning());
    // No extra roots: only the disabled evaluator can let the request through.
    qputenv("NORVANE_SERVICE_DOMAIN", "localhost");
    qunsetenv("NORVANE_EXTRA_CA_CERTS");
    auto serviceDomainSession = ApiClient::makeSession();
    const auto viaServiceDomain = awaitString(
        serviceDomainSession->get(QUrl(QStringLiteral("https://localhost:%1/x").arg(peer.port()))));
    ASSERT_TRUE(viaServiceDomain);
    EXPECT_EQ(viaServiceDomain->statusCode(), 404) << viaServiceDomain->errorText().toStdString();

    const auto viaOtherHost = awaitString(serviceDomainSession->get(QUrl(peer.url(QStringLiteral("/x")))));
    ASSERT_TRUE(viaOtherHost);
    ASSERT_TRUE(viaOtherHost->error);
    EXPECT_EQ(viaOtherHost->error->networkError(), QNetworkReply::SslHandshakeFailedError);
}

TEST(HttpTrust, UnreadableRootFilesAreSkipped)
{
    ManagementServerPeer peer(false);
    ASSERT_TRUE(peer.isRunning());
    const QString paths =
        QStringLiteral("/nonexistent/roots.pem:") + peer.certificatePath() + QStringLiteral("::");
    EXPECT_EQ(HttpSession::certificatesFromPemFiles(paths).size(), 1);
    EXPECT_TRUE(HttpSession::certificatesFromPemFiles(QString()).isEmpty());
}
