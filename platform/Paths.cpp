#include "platform/Paths.h"

#include <QDir>
#include <QStandardPaths>
#include <QtGlobal>

namespace {
QString xdg(const char* variable, const char* fallbackBelowHome)
{
    QString base = qEnvironmentVariable(variable);
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = Paths::home() + QLatin1Char('/') + QLatin1String(fallbackBelowHome);
    return QDir::cleanPath(base + QStringLiteral("/norvane"));
}
} // namespace

namespace Paths {

QString home()
{
    const QString value = qEnvironmentVariable("HOME");
    return value.isEmpty() ? QDir::homePath() : value;
}

QString libraryDirectory()
{
    return xdg("XDG_STATE_HOME", ".local/state");
}

QString configDirectory()
{
    return xdg("XDG_CONFIG_HOME", ".config");
}

QString dataDirectory()
{
    return xdg("XDG_DATA_HOME", ".local/share");
}

QString cacheDirectory()
{
    return xdg("XDG_CACHE_HOME", ".cache");
}

QString downloadsDirectory()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return dir.isEmpty() ? home() + QStringLiteral("/Downloads") : dir;
}

QString expandTilde(const QString& path)
{
    if (path == QLatin1String("~"))
        return home();
    if (path.startsWith(QLatin1String("~/")))
        return home() + path.mid(1);
    return path;
}

} // namespace Paths
