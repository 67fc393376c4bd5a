#include "core/ApiClient.h"

#include "core/Device.h"
#include "core/HttpSession.h"
#include "core/UrlEncoding.h"
#include "platform/Deployment.h"
#include "platform/Hardware.h"
#include "platform/UserDefaults.h"

HttpHeaders ApiClient::headers()
{
    const QString token = UserDefaults::standard().string(QStringLiteral("authToken")).value_or(QString());
    return {HttpHeader::authorization(token), HttpHeader::accept(QString::fromLatin1(acceptHeader))};
}

const QMap<QString, QString>& ApiClient::deviceParameters()
{
    static const QMap<QString, QString> parameters{
        {QStringLiteral("identifier"), Device::fingerprint()},
        {QStringLiteral("device_id"), Hardware::localizedHostName()},
        {QStringLiteral("os"), QStringLiteral("OSX")},
        {QStringLiteral("app_version"), Device::appVersion()},
        {QStringLiteral("os_version"), Device::osVersion()},
    };
    return parameters;
}

QMap<QString, QString> ApiClient::parameters(const QMap<QString, QString>& own)
{
    QMap<QString, QString> merged = deviceParameters();
    merged.insert(own);
    return merged;
}

HttpSession& ApiClient::session()
{
    // Kept for the life of the process; replies may still arrive while it exits.
    static HttpSession* session = makeSession().release();
    return *session;
}

std::unique_ptr<HttpSession> ApiClient::makeSession()
{
    return std::make_unique<HttpSession>(
        ServerTrustManager({Deployment::serviceDomain()}),
        HttpSession::certificatesFromPemFiles(Deployment::extraCaCertificates()));
}

QString ApiClient::unblockRequestUrl()
{
    const QString deviceName = QString::fromLatin1(Hardware::localizedHostName().toUtf8().toBase64());
    const QString token = UrlEncoding::urlQueryAllowed(Device::fingerprint());
    const QString email = UserDefaults::standard().string(QStringLiteral("userEmail")).value_or(QString());
    return QStringLiteral("https://") + Deployment::serverHost() +
           QStringLiteral("/unblock_request/new_request") + QStringLiteral("?user_id=") + email +
           QStringLiteral("&device_name=") + deviceName + QStringLiteral("&platform=nrvm&token=") + token;
}
