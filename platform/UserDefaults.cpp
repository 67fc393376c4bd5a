#include "platform/UserDefaults.h"

#include "platform/Diagnostics.h"
#include "platform/Paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

namespace {
// Data values are kept as {"$data": base64} so that they read back as data, not text.
const QString dataTag = QStringLiteral("$data");
} // namespace

UserDefaults::UserDefaults(QString filePath) : m_filePath(std::move(filePath))
{
    const Diagnostics::Deferral reportsAfterUnlock;
    std::lock_guard lock(m_mutex);
    loadLocked();
}

UserDefaults& UserDefaults::standard()
{
    static UserDefaults instance(Paths::configDirectory() + QStringLiteral("/user-defaults.json"));
    return instance;
}

void UserDefaults::reload()
{
    const Diagnostics::Deferral reportsAfterUnlock;
    std::lock_guard lock(m_mutex);
    loadLocked();
}

void UserDefaults::loadLocked()
{
    m_values = {};
    QFile file(m_filePath);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        Diagnostics::report(QStringLiteral("UserDefaults: cannot read %1: %2").arg(m_filePath, file.errorString()));
        return;
    }
    const QByteArray content = file.readAll();
    file.close();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(content, &error);
    if (error.error == QJsonParseError::NoError && document.isObject()) {
        m_values = document.object();
        return;
    }
    // Keep the damaged file for inspection and start empty rather than fail every read.
    const QString aside =
        m_filePath + QStringLiteral(".corrupt-") + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddhhmmss"));
    QFile::rename(m_filePath, aside);
    Diagnostics::report(QStringLiteral("UserDefaults: %1 is corrupt (%2); moved aside to %3, starting empty")
                            .arg(m_filePath,
                                 error.error == QJsonParseError::NoError ? QStringLiteral("not an object")
                                                                         : error.errorString(),
                                 aside));
}

bool UserDefaults::contains(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    return m_values.contains(key);
}

std::optional<QString> UserDefaults::string(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    const QJsonValue value = m_values.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<QByteArray> UserDefaults::data(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    const QJsonValue value = m_values.value(key);
    if (!value.isObject() || !value.toObject().value(dataTag).isString())
        return std::nullopt;
    return QByteArray::fromBase64(value.toObject().value(dataTag).toString().toLatin1());
}

std::optional<bool> UserDefaults::boolean(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    const QJsonValue value = m_values.value(key);
    if (!value.isBool())
        return std::nullopt;
    return value.toBool();
}

std::optional<qint64> UserDefaults::integer(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    const QJsonValue value = m_values.value(key);
    if (!value.isDouble())
        return std::nullopt;
    return value.toInteger();
}

void UserDefaults::setString(const QString& key, const QString& value)
{
    set(key, value);
}

void UserDefaults::setData(const QString& key, const QByteArray& value)
{
    set(key, QJsonObject{{dataTag, QString::fromLatin1(value.toBase64())}});
}

void UserDefaults::setBool(const QString& key, bool value)
{
    set(key, value);
}

void UserDefaults::setInteger(const QString& key, qint64 value)
{
    set(key, QJsonValue(value));
}

void UserDefaults::set(const QString& key, const QJsonValue& value)
{
    QJsonObject values;
    quint64 change = 0;
    {
        std::lock_guard lock(m_mutex);
        m_values.insert(key, value);
        values = m_values;
        change = ++m_changes;
    }
    save(values, change);
}

void UserDefaults::remove(const QString& key)
{
    QJsonObject values;
    quint64 change = 0;
    {
        std::lock_guard lock(m_mutex);
        if (!m_values.contains(key))
            return;
        m_values.remove(key);
        values = m_values;
        change = ++m_changes;
    }
    save(values, change);
}

void UserDefaults::clear()
{
    quint64 change = 0;
    {
        std::lock_guard lock(m_mutex);
        m_values = {};
        change = ++m_changes;
    }
    save({}, change);
}

void UserDefaults::save(const QJsonObject& values, quint64 change)
{
    const Diagnostics::Deferral reportsAfterUnlock;
    std::lock_guard writing(m_writeMutex);
    // Changes are numbered under the value lock; one written after this one already holds it.
    if (change <= m_written)
        return;
    m_written = change;
    const QString dir = QFileInfo(m_filePath).absolutePath();
    if (!Paths::makePrivateDirectory(dir)) {
        Diagnostics::report(QStringLiteral("UserDefaults: cannot create %1").arg(dir));
        return;
    }
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly)) {
        Diagnostics::report(QStringLiteral("UserDefaults: cannot write %1: %2").arg(m_filePath, file.errorString()));
        return;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(QJsonDocument(values).toJson(QJsonDocument::Indented));
    if (!file.commit())
        Diagnostics::report(QStringLiteral("UserDefaults: cannot save %1: %2").arg(m_filePath, file.errorString()));
}
