#include "platform/Deployment.h"

#include <QDir>
#include <QtGlobal>

#include <unistd.h>

namespace {
QString setting(const char* name, const QString& fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}
std::chrono::milliseconds milliseconds(const char* name, std::chrono::milliseconds fallback)
{
    bool ok = false;
    const qint64 value = qEnvironmentVariable(name).toLongLong(&ok);
    return ok && value > 0 ? std::chrono::milliseconds(value) : fallback;
}
} // namespace

namespace Deployment {

QString serverHost()
{
    return setting("NORVANE_SERVER_HOST", QStringLiteral("manage.norvane.org"));
}

QString serviceDomain()
{
    return setting("NORVANE_SERVICE_DOMAIN", QStringLiteral("norvane.org"));
}

QString extraCaCertificates()
{
    return qEnvironmentVariable("NORVANE_EXTRA_CA_CERTS");
}

QString runtimeDirectory()
{
    QString dir = qEnvironmentVariable("NORVANE_RUNTIME_DIR");
    if (dir.isEmpty()) {
        const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
        dir = xdg.isEmpty() ? QStringLiteral("/tmp/norvane-%1").arg(getuid()) : xdg + QStringLiteral("/norvane");
    }
    return QDir::cleanPath(dir);
}

QString sentryDsn()
{
    return setting("NORVANE_SENTRY_DSN",
                   QStringLiteral("https://4f1c8e2a9b7d40d5a3e6c1b2f0a9d8e7:9a8b7c6d5e4f40312a1b0c9d8e7f6a5b@"
                                  "crash.norvane.org/4504067261"));
}

std::chrono::milliseconds firstSupervisionDelay()
{
    return milliseconds("NORVANE_FIRST_SUPERVISION_MS", std::chrono::seconds(10));
}

std::chrono::milliseconds supervisionInterval()
{
    return milliseconds("NORVANE_SUPERVISION_INTERVAL_MS", std::chrono::seconds(30));
}

QString filterTestHost()
{
    return setting("NORVANE_FILTER_TEST_HOST", QStringLiteral("filtertest.norvane.org"));
}

QString filterTestMarker()
{
    return setting("NORVANE_FILTER_TEST_MARKER", QStringLiteral("NorvaneFilterTestMarker"));
}

QString dnsTestHost()
{
    return setting("NORVANE_DNS_TEST_HOST", QStringLiteral("dnstest.norvane.org"));
}

QString blockPageHost()
{
    return setting("NORVANE_BLOCK_PAGE_HOST", QStringLiteral("blockpage.norvane.org"));
}

QString googleHost()
{
    return setting("NORVANE_GOOGLE_HOST", QStringLiteral("www.google.com"));
}

QString googleSafeSearchHost()
{
    return setting("NORVANE_GOOGLE_SAFE_SEARCH_HOST", QStringLiteral("forcesafesearch.google.com"));
}

QString bingHost()
{
    return setting("NORVANE_BING_HOST", QStringLiteral("www.bing.com"));
}

QString bingStrictHost()
{
    return setting("NORVANE_BING_STRICT_HOST", QStringLiteral("strict.bing.com"));
}

QString youtubeHost()
{
    return setting("NORVANE_YOUTUBE_HOST", QStringLiteral("www.youtube.com"));
}

QString youtubeModerateHost()
{
    return setting("NORVANE_YOUTUBE_MODERATE_HOST", QStringLiteral("restrictmoderate.youtube.com"));
}

QString websiteUrl()
{
    return setting("NORVANE_WEBSITE_URL", QStringLiteral("https://www.norvane.org"));
}

QString knowledgeBaseUrl()
{
    return setting("NORVANE_KNOWLEDGE_BASE_URL", QStringLiteral("https://help.norvane.org/hc/en-us/categories/knowledge-base"));
}

QString releaseNotesUrl()
{
    return setting("NORVANE_RELEASE_NOTES_URL", QStringLiteral("https://www.norvane.org/release-notes/desktop"));
}

QString supportEmail()
{
    return setting("NORVANE_SUPPORT_EMAIL", QStringLiteral("support@norvane.org"));
}

QString supportTelephone()
{
    return setting("NORVANE_SUPPORT_TELEPHONE", QStringLiteral("+1 (888) 555-0164"));
}

} // namespace Deployment
