#include "platform/ProxyPreferences.h"

#include "platform/Diagnostics.h"
#include "platform/JsonFile.h"
#include "platform/Paths.h"

#include <QJsonArray>

namespace {
const QString owner = QStringLiteral("ProxyPreferences");
const QString configurationsKey = QStringLiteral("configurations");

qsizetype indexOf(const QJsonArray& records, const QString& identifier)
{
    for (qsizetype i = 0; i < records.size(); ++i) {
        if (records.at(i).toObject().value(QStringLiteral("identifier")).toString() == identifier)
            return i;
    }
    return -1;
}

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
    const Diagnostics::Deferral reportsAfterUnlock;
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

std::optional<PlatformError> ProxyPreferences::updateRecords(
    const std::function<std::optional<PlatformError>(QJsonArray&)>& change)
{
    const Diagnostics::Deferral reportsAfterUnlock;
    std::lock_guard lock(m_mutex);
    const JsonFile::ReadResult file = JsonFile::read(m_filePath, owner);
    if (file.status == JsonFile::ReadResult::Status::unreadable)
        return readError(file);
    QJsonObject document = file.object;
    QJsonArray records = document.value(configurationsKey).toArray();
    if (auto error = change(records))
        return error;
    document.insert(configurationsKey, records);
    QString errorText;
    if (!JsonFile::write(m_filePath, document, owner, &errorText))
        return VPNError::make(VPNError::configurationReadWriteFailed, QStringLiteral("Cannot save the network preferences: ") + errorText);
    return std::nullopt;
}

std::optional<PlatformError> ProxyPreferences::save(const ProxyConfiguration& configuration)
{
    return updateRecords([&](QJsonArray& records) -> std::optional<PlatformError> {
        const qsizetype found = indexOf(records, configuration.identifier);
        if (found >= 0)
            records.replace(found, configuration.toJson());
        else
            records.append(configuration.toJson());
        return std::nullopt;
    });
}

std::optional<PlatformError> ProxyPreferences::remove(const QString& identifier)
{
    return updateRecords([&](QJsonArray& records) -> std::optional<PlatformError> {
        const qsizetype found = identifier.isEmpty() ? -1 : indexOf(records, identifier);
        if (found < 0)
            return VPNError::make(VPNError::configurationInvalid, QStringLiteral("The configuration is not in the network preferences"));
        records.removeAt(found);
        return std::nullopt;
    });
}
