#pragma once

#include "platform/OnDemandRule.h"
#include "platform/TunnelProviderProtocol.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// One stored transparent-proxy configuration, as the network preferences keep it.
struct ProxyConfiguration
{
    QString identifier;  // assigned when first saved
    QString localizedDescription;
    bool isEnabled = false;
    bool isOnDemandEnabled = false;
    QList<OnDemandRule> onDemandRules;
    std::optional<TunnelProviderProtocol> protocolConfiguration;

    QJsonObject toJson() const;
    // Nothing when the record has no identifier or a rule it cannot read.
    static std::optional<ProxyConfiguration> fromJson(const QJsonObject& object);

    bool operator==(const ProxyConfiguration& other) const = default;
};
