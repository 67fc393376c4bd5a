#include "platform/ProxyConfiguration.h"

#include <QJsonArray>

QJsonObject ProxyConfiguration::toJson() const
{
    QJsonArray rules;
    for (const OnDemandRule& rule : onDemandRules)
        rules.append(rule.toJson());
    QJsonObject object{{QStringLiteral("identifier"), identifier},
                       {QStringLiteral("localizedDescription"), localizedDescription},
                       {QStringLiteral("isEnabled"), isEnabled},
                       {QStringLiteral("isOnDemandEnabled"), isOnDemandEnabled},
                       {QStringLiteral("onDemandRules"), rules}};
    if (protocolConfiguration)
        object.insert(QStringLiteral("protocolConfiguration"), protocolConfiguration->toJson());
    return object;
}

std::optional<ProxyConfiguration> ProxyConfiguration::fromJson(const QJsonObject& object)
{
    ProxyConfiguration configuration;
    configuration.identifier = object.value(QStringLiteral("identifier")).toString();
    if (configuration.identifier.isEmpty())
        return std::nullopt;
    configuration.localizedDescription = object.value(QStringLiteral("localizedDescription")).toString();
    configuration.isEnabled = object.value(QStringLiteral("isEnabled")).toBool();
    configuration.isOnDemandEnabled = object.value(QStringLiteral("isOnDemandEnabled")).toBool();
    for (const QJsonValue& value : object.value(QStringLiteral("onDemandRules")).toArray()) {
        const auto rule = OnDemandRule::fromJson(value.toObject());
        if (!rule)
            return std::nullopt;
        configuration.onDemandRules.append(*rule);
    }
    const QJsonValue protocol = object.value(QStringLiteral("protocolConfiguration"));
    if (protocol.isObject())
        configuration.protocolConfiguration = TunnelProviderProtocol::fromJson(protocol.toObject());
    return configuration;
}
