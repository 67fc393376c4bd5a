#pragma once

#include <QJsonObject>
#include <QString>

// The protocol part of a tunnel configuration: where the provider connects to and which
// extension provides the tunnel (empty: the network extension carried in the main bundle).
struct TunnelProviderProtocol
{
    QString serverAddress;
    QString providerBundleIdentifier;

    QJsonObject toJson() const
    {
        return QJsonObject{{QStringLiteral("type"), QStringLiteral("tunnelProvider")},
                           {QStringLiteral("serverAddress"), serverAddress},
                           {QStringLiteral("providerBundleIdentifier"), providerBundleIdentifier}};
    }
    static TunnelProviderProtocol fromJson(const QJsonObject& object)
    {
        return {object.value(QStringLiteral("serverAddress")).toString(),
                object.value(QStringLiteral("providerBundleIdentifier")).toString()};
    }

    bool operator==(const TunnelProviderProtocol& other) const = default;
};
