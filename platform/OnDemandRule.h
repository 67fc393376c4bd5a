#pragma once

#include <QJsonObject>

#include <optional>

// A rule that says when the system brings a tunnel up by itself.
struct OnDemandRule
{
    enum class Action { connect = 1, disconnect = 2, evaluateConnection = 3, ignore = 4 };
    enum class InterfaceType { any = 0, ethernet = 1, wifi = 2, cellular = 3 };

    Action action = Action::connect;
    InterfaceType interfaceTypeMatch = InterfaceType::any;

    // Connect with no conditions: always connect.
    static OnDemandRule connect() { return {}; }
    bool isAlwaysConnect() const { return action == Action::connect && interfaceTypeMatch == InterfaceType::any; }

    QJsonObject toJson() const;
    static std::optional<OnDemandRule> fromJson(const QJsonObject& object);

    bool operator==(const OnDemandRule& other) const = default;
};
