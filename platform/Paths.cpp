#include "platform/Paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
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

namespace {
constexpr QFileDevice::Permissions privateFolder = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
constexpr QFileDevice::Permissions privateFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
} // namespace

bool makePrivateDirectory(const QString& path)
{
    if (!QDir().mkpath(path))
        return false;
    return QFile::setPermissions(path, privateFolder);
}

void makePrivate(const QString& path, bool recursive)
{
    const QFileInfo folder(path);
    if (!folder.isDir() || folder.isSymLink())
        return;
    QFile::setPermissions(path, privateFolder);
    const QFileInfoList entries = QDir(path).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymLink())
            continue; // its target is not ours to change
        if (entry.isDir()) {
            if (recursive)
                makePrivate(entry.filePath(), true);
            else
                QFile::setPermissions(entry.filePath(), privateFolder);
        } else if (entry.isFile()) {
            QFile::setPermissions(entry.filePath(), privateFile);
        }
    }
}

void tightenPrivateFolders()
{
    makePrivate(libraryDirectory(), true);
    makePrivate(configDirectory(), true);
    makePrivate(dataDirectory(), true);
}

} // namespace Paths
