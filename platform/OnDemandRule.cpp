#include "platform/OnDemandRule.h"

#include <QString>

namespace {
const char* const actionNames[] = {"connect", "disconnect", "evaluateConnection", "ignore"};
const char* const interfaceNames[] = {"any", "ethernet", "wifi", "cellular"};
} // namespace

QJsonObject OnDemandRule::toJson() const
{
    return QJsonObject{{QStringLiteral("action"), QString::fromLatin1(actionNames[int(action) - 1])},
                       {QStringLiteral("interfaceTypeMatch"), QString::fromLatin1(interfaceNames[int(interfaceTypeMatch)])}};
}

std::optional<OnDemandRule> OnDemandRule::fromJson(const QJsonObject& object)
{
    OnDemandRule rule;
    const QString action = object.value(QStringLiteral("action")).toString();
    const QString interface = object.value(QStringLiteral("interfaceTypeMatch")).toString(QStringLiteral("any"));
    bool actionFound = false;
    bool interfaceFound = false;
    for (int i = 0; i < 4; ++i) {
        if (action == QLatin1String(actionNames[i])) {
            rule.action = Action(i + 1);
            actionFound = true;
        }
        if (interface == QLatin1String(interfaceNames[i])) {
            rule.interfaceTypeMatch = InterfaceType(i);
            interfaceFound = true;
        }
    }
    if (!actionFound || !interfaceFound)
        return std::nullopt;
    return rule;
}
