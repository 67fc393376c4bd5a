#include "core/ApiUrls.h"

#include "platform/Deployment.h"

QString ApiUrls::baseUrl()
{
    static const QString url =
        QStringLiteral("https://") + Deployment::serverHost() + QStringLiteral("/Velmora/api/v2/");
    return url;
}

QString ApiUrls::getToken()
{
    static const QString url = baseUrl() + QStringLiteral("user/gettoken");
    return url;
}

QString ApiUrls::activationEmail()
{
    static const QString url = baseUrl() + QStringLiteral("user/activation/email");
    return url;
}

QString ApiUrls::retrieveToken()
{
    static const QString url = baseUrl() + QStringLiteral("user/retrievetoken");
    return url;
}

QString ApiUrls::selfModerationAdd()
{
    static const QString url = baseUrl() + QStringLiteral("me/self_moderation/add");
    return url;
}

QString ApiUrls::deactivate()
{
    static const QString url = baseUrl() + QStringLiteral("me/deactivate");
    return url;
}
