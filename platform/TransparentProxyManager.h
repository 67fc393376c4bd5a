#pragma once

#include "platform/PlatformError.h"
#include "platform/ProxyConfiguration.h"
#include "platform/TunnelConnection.h"

#include <QList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// A transparent-proxy configuration of this program and its tunnel connection. The
// configuration lives in the network preferences (ProxyPreferences); this object holds a
// copy that the setters change and saveToPreferences writes back. The file work happens on
// the calling thread; completions always run later, on the main thread.
class TransparentProxyManager : public std::enable_shared_from_this<TransparentProxyManager>
{
public:
    using Pointer = std::shared_ptr<TransparentProxyManager>;
    using LoadAllCompletion = std::function<void(QList<Pointer> managers, std::optional<PlatformError> error)>;
    using Completion = std::function<void(std::optional<PlatformError> error)>;

    // A new configuration, not yet in the preferences.
    static Pointer create();
    // Every stored configuration, in stored order.
    static void loadAllFromPreferences(LoadAllCompletion completion);

    // Reads this configuration's stored values again (a new one keeps its values).
    void loadFromPreferences(Completion completion);
    // Stores the values; fails with configurationInvalid when there is no protocol
    // configuration with a server address.
    void saveToPreferences(Completion completion = {});
    // Removes the configuration; its tunnel goes down with it.
    void removeFromPreferences(Completion completion = {});

    // Empty until the first save.
    QString identifier() const;
    std::optional<TunnelProviderProtocol> protocolConfiguration() const;
    void setProtocolConfiguration(std::optional<TunnelProviderProtocol> protocol);
    QString localizedDescription() const;
    void setLocalizedDescription(const QString& description);
    bool isEnabled() const;
    void setEnabled(bool enabled);
    bool isOnDemandEnabled() const;
    void setOnDemandEnabled(bool enabled);
    QList<OnDemandRule> onDemandRules() const;
    void setOnDemandRules(const QList<OnDemandRule>& rules);

    TunnelConnection& connection() { return m_connection; }
    const TunnelConnection& connection() const { return m_connection; }

    // A copy of all values at once.
    ProxyConfiguration configuration() const;

private:
    explicit TransparentProxyManager(ProxyConfiguration configuration);

    mutable std::mutex m_mutex;
    ProxyConfiguration m_configuration;
    TunnelConnection m_connection{*this};
};
