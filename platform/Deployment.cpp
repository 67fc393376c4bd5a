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

} // namespace Deployment
