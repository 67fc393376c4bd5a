#pragma once

#include "core/Day.h"
#include "core/DecodeResult.h"
#include "core/Interval.h"
#include "core/ListConfigurationModel.h"
#include "core/TimeRestrictionModel.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The user's filtering policy as the management server hands it out for this device.
// Every field is optional: a default-constructed configuration has all of them absent,
// which is what decoding `{}` gives. makeDefault() is the configuration used when nothing
// usable is stored. The JSON key of each field is its name.
struct ServerConfiguaration
{
    std::optional<QStringList> BlacklistedApplications;
    std::optional<QStringList> WhitelistedApplications;
    std::optional<QStringList> BlockedApplications;
    std::optional<bool> CannotTerminate;
    std::optional<bool> BlockInternet;
    std::optional<bool> UseThreshold;
    std::optional<qint64> ThresholdLimit;
    std::optional<qint64> ThresholdTriggerPeriod;
    std::optional<qint64> ThresholdTimeoutPeriod;
    std::optional<qint64> BypassesPermitted;
    std::optional<qint64> UpdateFrequency;
    std::optional<qint64> BypassDuration;
    std::optional<QString> PrimaryDns;
    std::optional<QString> PrimaryDnsV6;
    std::optional<QString> SecondaryDns;
    std::optional<QString> SecondaryDnsV6;
    std::optional<QList<ListConfigurationModel>> ConfiguredLists;
    std::optional<QStringList> SelfModeration;
    std::optional<QStringList> CustomWhitelist;
    std::optional<QStringList> CustomTriggerBlacklist;
    std::optional<QStringList> CustomBlockedApps;
    std::optional<TimeRestrictionMap> TimeRestrictions;
    std::optional<QString> UpdateChannel;
    std::optional<qint64> EnableRelaxedPolicyPasscode;
    std::optional<qint64> DebugEnabled;
    std::optional<QString> sha1;

    // Every field present: empty lists and texts, false, 0, and UpdateChannel "Stable".
    static ServerConfiguaration makeDefault();

    // A missing or null key leaves its field absent; a value of the wrong JSON type, or a
    // nested record that does not decode, fails the whole configuration.
    static DecodeResult<ServerConfiguaration> decode(const QJsonObject& object);
    static DecodeResult<ServerConfiguaration> decode(const QJsonValue& value, const QString& path);
    static DecodeResult<ServerConfiguaration> fromJson(const QByteArray& json);

    // Present fields only; an absent field writes no key.
    QJsonObject encode() const;
    QByteArray toJson() const;

    bool operator==(const ServerConfiguaration&) const = default;
};
