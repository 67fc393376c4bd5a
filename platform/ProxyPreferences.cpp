#include "platform/ProxyPreferences.h"

#include "platform/Diagnostics.h"
#include "platform/JsonFile.h"
#include "platform/Paths.h"

#include <QJsonArray>

namespace {
const QString owner = QStringLiteral("ProxyPreferences");
const QString configurationsKey = QStringLiteral("configurations");

PlatformError readError(const JsonFile::ReadResult& result)
{
    return VPNError::make(VPNError::configurationReadWriteFailed,
                          QStringLiteral("Cannot read the network preferences: ") + result.errorText);
}
} // namespace

PlatformError VPNError::make(Code code, const QString& text)
{
    return PlatformError(QString::fromLatin1(domain), code, text);
}

ProxyPreferences::ProxyPreferences() : ProxyPreferences(Paths::configDirectory() + QStringLiteral("/network-preferences.json")) {}

ProxyPreferences::ProxyPreferences(QString filePath) : m_filePath(std::move(filePath)) {}

ProxyPreferences& ProxyPreferences::shared()
{
    static ProxyPreferences instance;
    return instance;
}

ProxyPreferences::LoadResult ProxyPreferences::loadAll() const
{
    std::lock_guard lock(m_mutex);
    LoadResult result;
    const JsonFile::ReadResult file = JsonFile::read(m_filePath, owner);
    if (file.status == JsonFile::ReadResult::Status::unreadable) {
        result.error = readError(file);
        return result;
    }
    const QJsonArray records = file.object.value(configurationsKey).toArray();
    for (qsizetype i = 0; i < records.size(); ++i) {
        const auto configuration = ProxyConfiguration::fromJson(records.at(i).toObject());
        if (configuration)
            result.configurations.append(*configuration);
        else
            Diagnostics::report(QStringLiteral("ProxyPreferences: record %1 of %2 cannot be read; skipped").arg(i).arg(m_filePath));
    }
    return result;
}

std::optional<ProxyConfiguration> ProxyPreferences::configuration(const QString& identifier) const
{
    if (identifier.isEmpty())
        return std::nullopt;
    for (const ProxyConfiguration& configuration : loadAll().configurations)
        if (configuration.identifier == identifier)
            return configuration;
    return std::nullopt;
}

std::optional<PlatformError> ProxyPreferences::save(const ProxyConfiguration& configuration)
{
    std::lock_guard lock(m_mutex);
    const JsonFile::ReadResult file = JsonFile::read(m_filePath, owner);
    if (file.status == JsonFile::ReadResult::Status::unreadable)
        return readError(file);
    QJsonObject document = file.object;
    QJsonArray records = document.value(configurationsKey).toArray();
    bool replaced = false;
    for (qsizetype i = 0; i < records.size(); ++i) {
        if (records.at(i).toObject().value(QStringLiteral("identifier")).toString() == configuration.identifier) {
            records.replace(i, configuration.toJson());
            replaced = true;
            break;
        }
    }
    if (!replaced)
        records.append(configuration.toJson());
    document.insert(configurationsKey, records);
    QString errorText;
    if (!JsonFile::write(m_filePath, document, owner, &errorText))
        return VPNError::make(VPNError::configurationReadWriteFailed, QStringLiteral("Cannot save the network preferences: ") + errorText);
    return std::nullopt;
}

std::optional<PlatformError> ProxyPreferences::remove(const QString& identifier)
{
    std::lock_guard lock(m_mutex);
    const JsonFile::ReadResult file = JsonFile::read(m_filePath, owner);
    if (file.status == JsonFile::ReadResult::Status::unreadable)
        return readError(file);
    QJsonObject document = file.object;
    QJsonArray records = document.value(configurationsKey).toArray();
    qsizetype found = -1;
    for (qsizetype i = 0; i < records.size() && !identifier.isEmpty(); ++i)
        if (records.at(i).toObject().value(QStringLiteral("identifier")).toString() == identifier)
            found = i;
    if (found < 0)
        return VPNError::make(VPNError::configurationInvalid, QStringLiteral("The configuration is not in the network preferences"));
    records.removeAt(found);
    document.insert(configurationsKey, records);
    QString errorText;
    if (!JsonFile::write(m_filePath, document, owner, &errorText))
        return VPNError::make(VPNError::configurationReadWriteFailed, QStringLiteral("Cannot save the network preferences: ") + errorText);
    return std::nullopt;
}
