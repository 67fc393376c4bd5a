#include "DemoSession.h"

#include "core/Day.h"
#include "core/SessionData.h"
#include "peers/management-server/SelfModerationFile.h"

#include <algorithm>

#include <QJsonValue>

namespace DemoSession {

namespace {

QString hours(int hour)
{
    return QStringLiteral("%1.00").arg(hour);
}

TimeRestrictionModel restricted(const QStringList& enabledThrough)
{
    TimeRestrictionModel model;
    model.EnabledThrough = enabledThrough;
    model.RestrictionsEnabled = true;
    const auto intervals = TimeRestrictionModel::intervalsFrom(enabledThrough);
    model.intervals = intervals ? intervals.value() : QList<Interval>();
    return model;
}

} // namespace

ServerConfiguaration userConfig(const QDateTime& now)
{
    ServerConfiguaration config = ServerConfiguaration::makeDefault();
    config.BypassesPermitted = 3;
    config.BypassDuration = 30;
    config.UpdateFrequency = 60;
    config.PrimaryDns = QStringLiteral("1.1.1.3");
    config.SecondaryDns = QStringLiteral("1.0.0.3");
    config.SelfModeration = QStringList{QStringLiteral("reddit.com"), QStringLiteral("tiktok.com"),
                                        QStringLiteral("instagram.com")} +
                            SelfModerationFile::sitesFor(QString::fromLatin1(authToken));
    config.CustomWhitelist = QStringList{QStringLiteral("wikipedia.org"), QStringLiteral("khanacademy.org")};
    config.CustomTriggerBlacklist = QStringList{QStringLiteral("casino")};
    config.ConfiguredLists = QList<ListConfigurationModel>{
        {QStringLiteral("blacklist"), QStringLiteral("lists/adult.txt")},
        {QStringLiteral("whitelist"), QStringLiteral("lists/education.txt")},
    };
    // School days allow the internet from 7:00 to 21:30, the weekend has no restriction.
    TimeRestrictionMap restrictions;
    for (const Day day : allDays()) {
        TimeRestrictionModel model;
        const bool weekend = day == Day::saturday || day == Day::sunday;
        model.EnabledThrough = weekend ? QStringList{QStringLiteral("8.00"), QStringLiteral("23.00")}
                                       : QStringList{QStringLiteral("7.00"), QStringLiteral("21.30")};
        model.RestrictionsEnabled = !weekend;
        restrictions.insert(rawValue(day), model);
    }
    const int today = now.date().dayOfWeek() - 1;
    const int hour = now.time().hour();
    restrictions.insert(rawValue(allDays().at(today)),
                        restricted({hours(0), hours(std::max(0, hour - 1)), hours(std::min(24, hour + 1)), hours(24)}));
    restrictions.insert(rawValue(allDays().at((today + 1) % 7)),
                        restricted({QStringLiteral("7.00"), QStringLiteral("12.00"), QStringLiteral("13.30"),
                                    QStringLiteral("21.00")}));
    config.TimeRestrictions = restrictions;
    config.UpdateChannel = QStringLiteral("Stable");
    config.EnableRelaxedPolicyPasscode = 1;
    config.DebugEnabled = 1;
    return config;
}

QJsonObject session(const QDateTime& now)
{
    return QJsonObject{
        {SessionData::authTokenKey, QString::fromLatin1(authToken)},
        {SessionData::userEmailKey, QString::fromLatin1(userEmail)},
        {QStringLiteral("userConfig"), userConfig(now).encode()},
        {SessionData::lastSyncTimeKey, SessionData::referenceSeconds(now)},
        {SessionData::isLastSyncFailedKey, false},
        {SessionData::bypassesUsedKey, 0},
        {SessionData::relaxedPolicyEnabledTimeKey, QJsonValue(QJsonValue::Null)},
        {SessionData::lastRelaxedPolicyUsedTimeKey,
         SessionData::referenceSeconds(SessionData::startOfDay(now).addDays(-1))},
    };
}

} // namespace DemoSession
