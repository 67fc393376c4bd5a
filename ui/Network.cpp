#include "ui/Network.h"

#include "core/Log.h"
#include "platform/HostResolver.h"

QString Network::resolveHost(const QString& host)
{
    HostResolver resolver(host);
    resolver.startInfoResolution();
    log(QStringLiteral("Host: ") + host);
    const QList<QByteArray> addresses = resolver.addresses();
    if (addresses.isEmpty())
        return {};
    const std::optional<QString> ip = HostResolver::numericHost(addresses.first());
    if (!ip)
        return {};
    log(QStringLiteral("ip: ") + *ip);
    return *ip;
}
