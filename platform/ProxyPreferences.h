#pragma once

#include "platform/PlatformError.h"
#include "platform/ProxyConfiguration.h"

#include <QList>
#include <QString>

#include <functional>
#include <mutex>
#include <optional>

class QJsonArray;

// The platform's error codes for tunnel configurations and connections (domain "NEVPNErrorDomain").
namespace VPNError {
inline constexpr const char* domain = "NEVPNErrorDomain";
enum Code {
    configurationInvalid = 1,
    configurationDisabled = 2,
    connectionFailed = 3,
    configurationStale = 4,
    configurationReadWriteFailed = 5,
    configurationUnknown = 6,
};
PlatformError make(Code code, const QString& text);
} // namespace VPNError

// The network preferences: this program's transparent-proxy configurations, in the order
// they were first saved, in one JSON file (by default
// $XDG_CONFIG_HOME/norvane/network-preferences.json) rewritten atomically. Safe to use from
// any thread. A file that does not parse is moved aside and reads as no configurations;
// a single record that cannot be read is skipped, but kept in the file.
class ProxyPreferences
{
public:
    ProxyPreferences();
    explicit ProxyPreferences(QString filePath);
    static ProxyPreferences& shared();

    QString filePath() const { return m_filePath; }

    struct LoadResult
    {
        QList<ProxyConfiguration> configurations;
        std::optional<PlatformError> error;
    };
    LoadResult loadAll() const;
    // The stored configuration with the identifier; nothing when absent or unreadable.
    std::optional<ProxyConfiguration> configuration(const QString& identifier) const;
    // Replaces the stored record with the same identifier, or appends it.
    std::optional<PlatformError> save(const ProxyConfiguration& configuration);
    std::optional<PlatformError> remove(const QString& identifier);

private:
    // Reads the stored records, lets change edit them, and writes them back atomically.
    std::optional<PlatformError> updateRecords(const std::function<std::optional<PlatformError>(QJsonArray&)>& change);

    QString m_filePath;
    mutable std::mutex m_mutex;
};
