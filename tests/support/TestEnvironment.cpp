#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {
QTemporaryDir*& tempDir()
{
    static QTemporaryDir* dir = nullptr;
    return dir;
}
} // namespace

namespace TestEnvironment {

QString root()
{
    return tempDir() ? tempDir()->path() : QString();
}

void isolate()
{
    delete tempDir();
    tempDir() = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/norvane-test-XXXXXX"));
    const QString base = tempDir()->path();
    const auto set = [&](const char* name, const QString& sub) {
        const QString path = base + sub;
        QDir().mkpath(path);
        qputenv(name, path.toUtf8());
    };
    set("HOME", QStringLiteral("/home"));
    set("XDG_CONFIG_HOME", QStringLiteral("/home/.config"));
    set("XDG_DATA_HOME", QStringLiteral("/home/.local/share"));
    set("XDG_STATE_HOME", QStringLiteral("/home/.local/state"));
    set("XDG_CACHE_HOME", QStringLiteral("/home/.cache"));
    set("XDG_RUNTIME_DIR", QStringLiteral("/run"));
    QFile::setPermissions(base + QStringLiteral("/run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    set("NORVANE_RUNTIME_DIR", QStringLiteral("/run/norvane"));
    QDir().mkpath(base + QStringLiteral("/home/Downloads"));
    qputenv("XDG_DOWNLOAD_DIR", (base + QStringLiteral("/home/Downloads")).toUtf8());
    // Pages send requests as soon as they appear: without a peer they go to a loopback
    // port where nothing listens, never to the real server.
    qputenv("NORVANE_SERVER_HOST", "127.0.0.1:1");
    // The filter tests likewise: the blocking test's page on the closed port, and every
    // name they resolve answered from /etc/hosts, so no lookup leaves the machine.
    qputenv("NORVANE_FILTER_TEST_HOST", "127.0.0.1:1");
    for (const char* name : {"NORVANE_DNS_TEST_HOST", "NORVANE_BLOCK_PAGE_HOST", "NORVANE_GOOGLE_HOST",
                             "NORVANE_GOOGLE_SAFE_SEARCH_HOST", "NORVANE_BING_HOST", "NORVANE_BING_STRICT_HOST",
                             "NORVANE_YOUTUBE_HOST", "NORVANE_YOUTUBE_MODERATE_HOST"})
        qputenv(name, "localhost");
}

QString readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
}

} // namespace TestEnvironment
