#include "core/Log.h"

#include "platform/DateFormatter.h"
#include "platform/Diagnostics.h"
#include "platform/Paths.h"
#include "platform/SystemLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>

Log::Log(std::uint64_t maxFileSize, int maxFileCount, QString directory, QString name, bool printToConsole)
    : m_maxFileSize(maxFileSize), m_maxFileCount(maxFileCount), m_directory(std::move(directory)),
      m_name(std::move(name)), m_printToConsole(printToConsole)
{
}

Log& Log::shared()
{
    static Log* instance = [] {
        auto* log = new Log(10240, 4, defaultDirectory(), QStringLiteral("logfile"), true);
        // The platform layer reports its troubles through the same log.
        Diagnostics::setSink([log](const QString& message) { log->write(message); });
        return log;
    }();
    return *instance;
}

QString Log::defaultDirectory()
{
    const QString library = Paths::libraryDirectory();
    if (library.isEmpty())
        return {};
    const QString directory = library + QStringLiteral("/Logs");
    // The state folder itself may not exist yet on a fresh account. Both are private: the
    // log holds the device fingerprint, server addresses and command outputs.
    Paths::makePrivateDirectory(library);
    Paths::makePrivateDirectory(directory);
    return directory;
}

std::uint64_t Log::maxFileSize() const
{
    std::lock_guard lock(m_mutex);
    return m_maxFileSize;
}

void Log::setMaxFileSize(std::uint64_t kibibytes)
{
    std::lock_guard lock(m_mutex);
    m_maxFileSize = kibibytes;
}

int Log::maxFileCount() const
{
    std::lock_guard lock(m_mutex);
    return m_maxFileCount;
}

void Log::setMaxFileCount(int count)
{
    std::lock_guard lock(m_mutex);
    m_maxFileCount = count;
}

QString Log::directory() const
{
    std::lock_guard lock(m_mutex);
    return m_directory;
}

void Log::setDirectory(const QString& directory)
{
    std::lock_guard lock(m_mutex);
    m_directory = Paths::expandTilde(directory);
    if (QFileInfo::exists(m_directory))
        return;
    if (!Paths::makePrivateDirectory(m_directory)) {
        SystemLog::write(QStringLiteral("Couldn't create directory at %1").arg(m_directory));
        std::printf("Couldn't create directory at %s\n", m_directory.toUtf8().constData());
        std::fflush(stdout);
    }
}

QString Log::currentFilePath() const
{
    std::lock_guard lock(m_mutex);
    return filePath(0);
}

QString Log::name() const
{
    std::lock_guard lock(m_mutex);
    return m_name;
}

void Log::setName(const QString& name)
{
    std::lock_guard lock(m_mutex);
    m_name = name;
}

bool Log::printToConsole() const
{
    std::lock_guard lock(m_mutex);
    return m_printToConsole;
}

void Log::setPrintToConsole(bool print)
{
    std::lock_guard lock(m_mutex);
    m_printToConsole = print;
}

QString Log::filePath(int index) const
{
    return m_directory + QLatin1Char('/') + m_name + QLatin1Char('-') + QString::number(index) +
           QStringLiteral(".log");
}

void Log::write(const QString& message)
{
    std::lock_guard lock(m_mutex);
    const QString path = filePath(0);
    if (!QFileInfo::exists(path)) {
        QSaveFile create(path);
        if (create.open(QIODevice::WriteOnly)) {
            create.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            create.commit();
        }
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    const QString line = QLatin1Char('[') + DateFormatter::mediumStyle(QDateTime::currentDateTime()) +
                         QStringLiteral("]: ") + message + QLatin1Char('\n');
    const QByteArray bytes = line.toUtf8();
    file.write(bytes);
    file.close();
    if (m_printToConsole) {
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
        std::fflush(stdout);
        SystemLog::write(line);
    }
    rotateIfNeeded();
}

void Log::rotateIfNeeded()
{
    const QFileInfo current(filePath(0));
    const std::uint64_t size = current.exists() ? static_cast<std::uint64_t>(current.size()) : 0;
    // A limit whose byte count does not fit in 64 bits can never be reached.
    if (m_maxFileSize == 0 || m_maxFileSize > UINT64_MAX / 1024 || size == 0 || size < m_maxFileSize * 1024)
        return;
    if (m_maxFileCount <= 0)
        return;
    shiftFile(0);
    QFile::remove(filePath(m_maxFileCount));
}

void Log::shiftFile(int index)
{
    const QString source = filePath(index);
    const QString target = filePath(index + 1);
    if (QFileInfo::exists(target))
        shiftFile(index + 1);
    QFile::rename(source, target);
}

void log(const QString& message)
{
    Log::shared().write(message);
}
