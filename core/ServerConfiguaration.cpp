#include "core/ServerConfiguaration.h"

#include "core/JsonDecoding.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

// Calls `visit(key, field)` for the fields in their order, stopping at the first false.
template <typename Configuration, typename Visitor> bool visitFields(Configuration& c, Visitor&& visit)
{
    return visit(QStringLiteral("BlacklistedApplications"), c.BlacklistedApplications) &&
           visit(QStringLiteral("WhitelistedApplications"), c.WhitelistedApplications) &&
           visit(QStringLiteral("BlockedApplications"), c.BlockedApplications) &&
           visit(QStringLiteral("CannotTerminate"), c.CannotTerminate) &&
           visit(QStringLiteral("BlockInternet"), c.BlockInternet) &&
           visit(QStringLiteral("UseThreshold"), c.UseThreshold) &&
           visit(QStringLiteral("ThresholdLimit"), c.ThresholdLimit) &&
           visit(QStringLiteral("ThresholdTriggerPeriod"), c.ThresholdTriggerPeriod) &&
           visit(QStringLiteral("ThresholdTimeoutPeriod"), c.ThresholdTimeoutPeriod) &&
           visit(QStringLiteral("BypassesPermitted"), c.BypassesPermitted) &&
           visit(QStringLiteral("UpdateFrequency"), c.UpdateFrequency) &&
           visit(QStringLiteral("BypassDuration"), c.BypassDuration) &&
           visit(QStringLiteral("PrimaryDns"), c.PrimaryDns) &&
           visit(QStringLiteral("PrimaryDnsV6"), c.PrimaryDnsV6) &&
           visit(QStringLiteral("SecondaryDns"), c.SecondaryDns) &&
           visit(QStringLiteral("SecondaryDnsV6"), c.SecondaryDnsV6) &&
           visit(QStringLiteral("ConfiguredLists"), c.ConfiguredLists) &&
           visit(QStringLiteral("SelfModeration"), c.SelfModeration) &&
           visit(QStringLiteral("CustomWhitelist"), c.CustomWhitelist) &&
           visit(QStringLiteral("CustomTriggerBlacklist"), c.CustomTriggerBlacklist) &&
           visit(QStringLiteral("CustomBlockedApps"), c.CustomBlockedApps) &&
           visit(QStringLiteral("TimeRestrictions"), c.TimeRestrictions) &&
           visit(QStringLiteral("UpdateChannel"), c.UpdateChannel) &&
           visit(QStringLiteral("EnableRelaxedPolicyPasscode"), c.EnableRelaxedPolicyPasscode) &&
           visit(QStringLiteral("DebugEnabled"), c.DebugEnabled) && visit(QStringLiteral("sha1"), c.sha1);
}

DecodeResult<QString> decodeValue(const QJsonValue& v, const QString& path, const QString*)
{
    return JsonDecoding::string(v, path);
}

DecodeResult<bool> decodeValue(const QJsonValue& v, const QString& path, const bool*)
{
    return JsonDecoding::boolean(v, path);
}

DecodeResult<qint64> decodeValue(const QJsonValue& v, const QString& path, const qint64*)
{
    return JsonDecoding::integer(v, path);
}

DecodeResult<QStringList> decodeValue(const QJsonValue& v, const QString& path, const QStringList*)
{
    return JsonDecoding::stringList(v, path);
}

DecodeResult<QList<ListConfigurationModel>> decodeValue(const QJsonValue& v, const QString& path,
                                                        const QList<ListConfigurationModel>*)
{
    using Result = DecodeResult<QList<ListConfigurationModel>>;
    if (!v.isArray())
        return Result::failure(JsonDecoding::typeMismatch(path, QStringLiteral("an array"), v));
    const QJsonArray array = v.toArray();
    QList<ListConfigurationModel> lists;
    lists.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        DecodeResult<ListConfigurationModel> list =
            ListConfigurationModel::decode(array.at(i), JsonDecoding::indexPath(path, i));
        if (!list)
            return Result::failure(list.error());
        lists.append(std::move(list).value());
    }
    return Result::success(std::move(lists));
}

DecodeResult<TimeRestrictionMap> decodeValue(const QJsonValue& v, const QString& path,
                                             const TimeRestrictionMap*)
{
    using Result = DecodeResult<TimeRestrictionMap>;
    if (!v.isObject())
        return Result::failure(JsonDecoding::typeMismatch(path, QStringLiteral("an object"), v));
    const QJsonObject object = v.toObject();
    TimeRestrictionMap days;
    for (auto it = object.begin(); it != object.end(); ++it) {
        DecodeResult<TimeRestrictionModel> day =
            TimeRestrictionModel::decode(it.value(), JsonDecoding::joinPath(path, it.key()));
        if (!day)
            return Result::failure(day.error());
        days.insert(it.key(), std::move(day).value());
    }
    return Result::success(std::move(days));
}

QJsonValue encodeValue(const QString& v)
{
    return v;
}

QJsonValue encodeValue(bool v)
{
    return v;
}

QJsonValue encodeValue(qint64 v)
{
    return QJsonValue(v);
}

QJsonValue encodeValue(const QStringList& v)
{
    return QJsonArray::fromStringList(v);
}

QJsonValue encodeValue(const QList<ListConfigurationModel>& v)
{
    QJsonArray array;
    for (const ListConfigurationModel& list : v)
        array.append(list.encode());
    return array;
}

QJsonValue encodeValue(const TimeRestrictionMap& v)
{
    QJsonObject object;
    for (auto it = v.begin(); it != v.end(); ++it)
        object.insert(it.key(), it.value().encode());
    return object;
}

} // namespace

ServerConfiguaration ServerConfiguaration::makeDefault()
{
    ServerConfiguaration c;
    c.BlacklistedApplications = QStringList();
    c.WhitelistedApplications = QStringList();
    c.BlockedApplications = QStringList();
    c.CannotTerminate = false;
    c.BlockInternet = false;
    c.UseThreshold = false;
    c.ThresholdLimit = 0;
    c.ThresholdTriggerPeriod = 0;
    c.ThresholdTimeoutPeriod = 0;
    c.BypassesPermitted = 0;
    c.UpdateFrequency = 0;
    c.BypassDuration = 0;
    c.PrimaryDns = QString();
    c.PrimaryDnsV6 = QString();
    c.SecondaryDns = QString();
    c.SecondaryDnsV6 = QString();
    c.ConfiguredLists = QList<ListConfigurationModel>();
    c.SelfModeration = QStringList();
    c.CustomWhitelist = QStringList();
    c.CustomTriggerBlacklist = QStringList();
    c.CustomBlockedApps = QStringList();
    c.TimeRestrictions = TimeRestrictionMap();
    c.UpdateChannel = QStringLiteral("Stable");
    c.EnableRelaxedPolicyPasscode = 0;
    c.DebugEnabled = 0;
    c.sha1 = QString();
    return c;
}

DecodeResult<ServerConfiguaration> ServerConfiguaration::decode(const QJsonObject& object)
{
    return decode(QJsonValue(object), QString());
}

DecodeResult<ServerConfiguaration> ServerConfiguaration::decode(const QJsonValue& value, const QString& path)
{
    using Result = DecodeResult<ServerConfiguaration>;
    if (!value.isObject())
        return Result::failure(JsonDecoding::typeMismatch(path, QStringLiteral("an object"), value));
    const QJsonObject object = value.toObject();
    ServerConfiguaration configuration;
    QString error;
    visitFields(configuration, [&](const QString& key, auto& field) {
        using T = typename std::remove_reference_t<decltype(field)>::value_type;
        error = JsonDecoding::decodeIfPresent(object, key, path, field,
                                              [](const QJsonValue& v, const QString& p) {
                                                  return decodeValue(v, p, static_cast<const T*>(nullptr));
                                              });
        return error.isEmpty();
    });
    if (!error.isEmpty())
        return Result::failure(error);
    return Result::success(std::move(configuration));
}

DecodeResult<ServerConfiguaration> ServerConfiguaration::fromJson(const QByteArray& json)
{
    const DecodeResult<QJsonObject> object = JsonDecoding::parseObject(json);
    if (!object)
        return DecodeResult<ServerConfiguaration>::failure(object.error());
    return decode(object.value());
}

QJsonObject ServerConfiguaration::encode() const
{
    QJsonObject object;
    visitFields(*this, [&](const QString& key, const auto& field) {
        if (field)
            object.insert(key, encodeValue(*field));
        return true;
    });
    return object;
}

QByteArray ServerConfiguaration::toJson() const
{
    return QJsonDocument(encode()).toJson(QJsonDocument::Compact);
}
