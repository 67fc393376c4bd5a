#include "platform/UpdateSettings.h"

#include "platform/UserDefaults.h"

UpdateSettings::UpdateSettings(UserDefaults& defaults, QString hostBundleIdentifier)
    : m_defaults(defaults), m_hostIdentifier(std::move(hostBundleIdentifier))
{
}

// Keys of the application bundle's updater stay plain; another host bundle (the filter
// extension's) gets its own, so the two never share a check time.
QString UpdateSettings::key(const char* name) const
{
    const QString plain = QString::fromLatin1(name);
    return m_hostIdentifier.isEmpty() ? plain : plain + QLatin1Char('.') + m_hostIdentifier;
}

std::optional<QDateTime> UpdateSettings::lastCheckTime() const
{
    const std::optional<QString> text = m_defaults.string(key("SULastCheckTime"));
    if (!text)
        return std::nullopt;
    const QDateTime time = QDateTime::fromString(*text, Qt::ISODateWithMs);
    if (!time.isValid())
        return std::nullopt;
    return time;
}

void UpdateSettings::setLastCheckTime(const QDateTime& time)
{
    m_defaults.setString(key("SULastCheckTime"), time.toUTC().toString(Qt::ISODateWithMs));
}

std::optional<bool> UpdateSettings::automaticallyChecks() const
{
    return m_defaults.boolean(key("SUEnableAutomaticChecks"));
}

void UpdateSettings::setAutomaticallyChecks(bool automaticallyChecks)
{
    m_defaults.setBool(key("SUEnableAutomaticChecks"), automaticallyChecks);
}

QString UpdateSettings::skippedVersion() const
{
    return m_defaults.string(key("SUSkippedVersion")).value_or(QString());
}

void UpdateSettings::setSkippedVersion(const QString& version)
{
    if (version.isEmpty())
        m_defaults.remove(key("SUSkippedVersion"));
    else
        m_defaults.setString(key("SUSkippedVersion"), version);
}
