#include "core/ServerConfiguaration.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>
#include <limits>

namespace {

QJsonObject object(const char* json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

DecodeResult<ServerConfiguaration> decode(const char* json)
{
    return ServerConfiguaration::fromJson(QByteArray(json));
}

// A configuration whose only key is the monday entry given.
DecodeResult<ServerConfiguaration> decodeMonday(const char* mondayJson)
{
    return ServerConfiguaration::fromJson(QByteArray(R"({"TimeRestrictions": {"monday": )") + mondayJson +
                                          "}}");
}

const qint64 int64Max = std::numeric_limits<qint64>::max();
const qint64 int64Min = std::numeric_limits<qint64>::min();

} // namespace

TEST(ServerConfiguaration, EmptyObjectHasEveryFieldAbsentAndEncodesEmpty)
{
    const auto decoded = decode("{}");
    ASSERT_TRUE(decoded) << decoded.error().toStdString();
    EXPECT_EQ(decoded.value(), ServerConfiguaration());
    EXPECT_TRUE(decoded->encode().isEmpty());
    EXPECT_EQ(decoded->toJson(), QByteArray("{}"));
}

TEST(ServerConfiguaration, NullReadsAsAbsentNotAsTheDefault)
{
    const auto decoded =
        decode(R"({"UpdateChannel": null, "BypassDuration": null, "TimeRestrictions": null})");
    ASSERT_TRUE(decoded) << decoded.error().toStdString();
    EXPECT_FALSE(decoded->UpdateChannel.has_value());
    EXPECT_FALSE(decoded->BypassDuration.has_value());
    EXPECT_FALSE(decoded->TimeRestrictions.has_value());
    EXPECT_FALSE(decoded->encode().contains(QStringLiteral("UpdateChannel")));
}

TEST(ServerConfiguaration, DefaultEncodesAllKeysAndDecodesBackEqual)
{
    const ServerConfiguaration defaults = ServerConfiguaration::makeDefault();
    const QJsonObject json = defaults.encode();
    const QStringList expectedKeys = {"BlacklistedApplications",
                                      "WhitelistedApplications",
                                      "BlockedApplications",
                                      "CannotTerminate",
                                      "BlockInternet",
                                      "UseThreshold",
                                      "ThresholdLimit",
                                      "ThresholdTriggerPeriod",
                                      "ThresholdTimeoutPeriod",
                                      "BypassesPermitted",
                                      "UpdateFrequency",
                                      "BypassDuration",
                                      "PrimaryDns",
                                      "PrimaryDnsV6",
                                      "SecondaryDns",
                                      "SecondaryDnsV6",
                                      "ConfiguredLists",
                                      "SelfModeration",
                                      "CustomWhitelist",
                                      "CustomTriggerBlacklist",
                                      "CustomBlockedApps",
                                      "TimeRestrictions",
                                      "UpdateChannel",
                                      "EnableRelaxedPolicyPasscode",
                                      "DebugEnabled",
                                      "sha1"};
    QStringList keys = json.keys();
    QStringList sortedExpected = expectedKeys;
    keys.sort();
    sortedExpected.sort();
    EXPECT_EQ(keys, sortedExpected);
    EXPECT_EQ(json.value("UpdateChannel").toString(), QStringLiteral("Stable"));
    EXPECT_TRUE(json.value("TimeRestrictions").isObject());
    EXPECT_TRUE(json.value("TimeRestrictions").toObject().isEmpty());
    EXPECT_EQ(json.value("BypassesPermitted").toInteger(-1), 0);
    EXPECT_EQ(json.value("CannotTerminate"), QJsonValue(false));

    const auto back = ServerConfiguaration::decode(json);
    ASSERT_TRUE(back) << back.error().toStdString();
    EXPECT_EQ(back.value(), defaults);
}

TEST(ServerConfiguaration, ValuesOfTheWrongTypeFailTheWholeConfiguration)
{
    const char* cases[] = {
        R"({"CannotTerminate": 1})",
        R"({"BlockInternet": "true"})",
        R"({"ThresholdLimit": "5"})",
        R"({"ThresholdLimit": 1.5})",
        R"({"BypassesPermitted": true})",
        R"({"BypassDuration": 9223372036854775808})",
        R"({"DebugEnabled": 1e19})",
        R"({"PrimaryDns": 8})",
        R"({"UpdateChannel": ["Stable"]})",
        R"({"SelfModeration": "example.com"})",
        R"({"SelfModeration": ["example.com", 1]})",
        R"({"SelfModeration": [null]})",
        R"({"ConfiguredLists": {}})",
        R"({"ConfiguredLists": [{"ListType": "x"}]})",
        R"({"ConfiguredLists": [{"ListType": "x", "RelativeListPath": 3}]})",
        R"({"ConfiguredLists": [{"ListType": null, "RelativeListPath": "p"}]})",
        R"({"ConfiguredLists": ["x"]})",
        R"({"TimeRestrictions": []})",
        R"({"TimeRestrictions": {"monday": "8.00"}})",
        R"({"PrimaryDns": "1.1.1.1", "sha1": {}})",
    };
    for (const char* json : cases) {
        const auto decoded = decode(json);
        EXPECT_FALSE(decoded) << json;
        EXPECT_FALSE(decoded.error().isEmpty()) << json;
    }
}

TEST(ServerConfiguaration, NotAnObjectFailsWithAReason)
{
    for (const char* json : {"", "garbage", "[]", "[{}]", R"({"PrimaryDns": )"}) {
        const auto decoded = decode(json);
        EXPECT_FALSE(decoded) << json;
        EXPECT_FALSE(decoded.error().isEmpty()) << json;
    }
}

TEST(ServerConfiguaration, ErrorsNameTheFailingKey)
{
    EXPECT_TRUE(decode(R"({"ConfiguredLists": [{"ListType": "x"}]})").error().contains("RelativeListPath"));
    EXPECT_TRUE(decode(R"({"ConfiguredLists": [{"ListType": "x"}]})").error().contains("ConfiguredLists[0]"));
    EXPECT_TRUE(decodeMonday(R"({"RestrictionsEnabled": true, "EnabledThrough": ["x.00", "1.00"]})")
                    .error()
                    .contains("TimeRestrictions.monday.EnabledThrough"));
}

TEST(ServerConfiguaration, IntegersAreKeptExactlyOver64Bits)
{
    const auto decoded = decode(R"({"ThresholdLimit": 9007199254740993, "BypassDuration": 9223372036854775807,
                                   "UpdateFrequency": -9223372036854775808, "DebugEnabled": 1.0,
                                   "BypassesPermitted": 1e3})");
    ASSERT_TRUE(decoded) << decoded.error().toStdString();
    EXPECT_EQ(decoded->ThresholdLimit, 9007199254740993LL);
    EXPECT_EQ(decoded->BypassDuration, int64Max);
    EXPECT_EQ(decoded->UpdateFrequency, int64Min);
    EXPECT_EQ(decoded->DebugEnabled, 1);
    EXPECT_EQ(decoded->BypassesPermitted, 1000);
    const QByteArray json = decoded->toJson();
    EXPECT_TRUE(json.contains("9007199254740993")) << json.constData();
    EXPECT_EQ(ServerConfiguaration::fromJson(json).value(), decoded.value());
}

TEST(ServerConfiguaration, RealisticConfigurationRoundTrips)
{
    const auto decoded = decode(R"({
        "BlacklistedApplications": ["a.app"], "CannotTerminate": true, "ThresholdLimit": 5,
        "BypassesPermitted": 3, "BypassDuration": 30, "PrimaryDns": "10.0.0.1",
        "ConfiguredLists": [{"ListType": "block", "RelativeListPath": "lists/adult.txt"}],
        "SelfModeration": ["example.com", "example.org"],
        "TimeRestrictions": {"monday": {"EnabledThrough": ["08.00", "12.00"], "RestrictionsEnabled": true},
                             "holiday": {"EnabledThrough": [], "RestrictionsEnabled": false}},
        "UpdateChannel": "Beta", "EnableRelaxedPolicyPasscode": 1, "sha1": "abc"})");
    ASSERT_TRUE(decoded) << decoded.error().toStdString();
    EXPECT_EQ(decoded->ConfiguredLists->at(0).RelativeListPath, QStringLiteral("lists/adult.txt"));
    EXPECT_EQ(decoded->SelfModeration, QStringList({"example.com", "example.org"}));
    // A key that is no day is kept and written back.
    EXPECT_TRUE(decoded->TimeRestrictions->contains("holiday"));
    EXPECT_FALSE(decoded->WhitelistedApplications.has_value());
    const auto again = ServerConfiguaration::fromJson(decoded->toJson());
    ASSERT_TRUE(again) << again.error().toStdString();
    EXPECT_EQ(again.value(), decoded.value());
}

TEST(TimeRestrictionModel, EnabledThroughForms)
{
    struct Case
    {
        const char* json;
        QStringList enabledThrough;
        QList<Interval> intervals;
    };
    const Case cases[] = {
        {R"({"RestrictionsEnabled": true, "EnabledThrough": ["08.00", "12.00", "13.30", "24.00"]})",
         {"08.00", "12.00", "13.30", "24.00"},
         {{480, 720}, {810, 1440}}},
        {R"({"RestrictionsEnabled": true, "EnabledThrough": [8, 17, 20]})", {"8.00", "17.00"}, {{480, 1020}}},
        {R"({"RestrictionsEnabled": true, "EnabledThrough": [-1, 24]})", {"-1.00", "24.00"}, {{-60, 1440}}},
        {R"({"RestrictionsEnabled": true, "EnabledThrough": [8.0, 17]})", {"8.00", "17.00"}, {{480, 1020}}},
        {R"({"RestrictionsEnabled": false, "EnabledThrough": []})", {}, {}},
        {R"({"RestrictionsEnabled": true, "EnabledThrough": ["00.00", "00.00"]})",
         {"00.00", "00.00"},
         {{0, 0}}},
        {R"({"RestrictionsEnabled": true, "EnabledThrough": ["00.00", "24.00"]})",
         {"00.00", "24.00"},
         {{0, 1440}}},
        {R"({"EnabledThrough": ["22.00", "06.00"], "RestrictionsEnabled": true})",
         {"22.00", "06.00"},
         {{1320, 360}}},
    };
    for (const Case& c : cases) {
        const auto decoded = decodeMonday(c.json);
        ASSERT_TRUE(decoded) << c.json << ": " << decoded.error().toStdString();
        const TimeRestrictionModel& monday = decoded->TimeRestrictions->value("monday");
        EXPECT_EQ(monday.EnabledThrough, c.enabledThrough) << c.json;
        EXPECT_EQ(monday.intervals, c.intervals) << c.json;
    }
}

TEST(TimeRestrictionModel, MalformedEnabledThroughFailsTheWholeConfiguration)
{
    const char* cases[] = {
        R"({"RestrictionsEnabled": true, "EnabledThrough": [8]})",
        R"({"RestrictionsEnabled": true, "EnabledThrough": ["08.00"]})",
        R"({"RestrictionsEnabled": true, "EnabledThrough": ["a.00", "b.00"]})",
        R"({"RestrictionsEnabled": true, "EnabledThrough": ["", "1.00"]})",
        R"({"RestrictionsEnabled": true, "EnabledThrough": ["08.00", "12.00", "13.00"]})",
        R"({"RestrictionsEnabled": true})",
        R"({"RestrictionsEnabled": true, "EnabledThrough": null})",
        R"({"RestrictionsEnabled": true, "EnabledThrough": ["08.00", 17]})",
        R"({"RestrictionsEnabled": true, "EnabledThrough": [8.5, 17]})",
        R"({"RestrictionsEnabled": true, "EnabledThrough": "08.00-17.00"})",
        R"({"RestrictionsEnabled": true, "EnabledThrough": [9223372036854775807, 1]})",
        R"({"EnabledThrough": ["08.00", "12.00"]})",
        R"({"RestrictionsEnabled": "true", "EnabledThrough": ["08.00", "12.00"]})",
        R"({"RestrictionsEnabled": null, "EnabledThrough": []})",
    };
    for (const char* json : cases)
        EXPECT_FALSE(decodeMonday(json)) << json;
}

TEST(TimeRestrictionModel, IntegerFormIsWrittenBackAsText)
{
    const auto decoded =
        TimeRestrictionModel::decode(object(R"({"RestrictionsEnabled": true, "EnabledThrough": [8, 17]})"));
    ASSERT_TRUE(decoded) << decoded.error().toStdString();
    const QJsonObject encoded = decoded->encode();
    EXPECT_EQ(encoded.value("EnabledThrough").toArray(), QJsonArray({"8.00", "17.00"}));
    EXPECT_EQ(encoded.value("RestrictionsEnabled"), QJsonValue(true));
    EXPECT_FALSE(encoded.contains("intervals"));
    EXPECT_EQ(encoded.size(), 2);
}

TEST(TimeRestrictionModel, MinutesFromText)
{
    struct Case
    {
        const char* text;
        std::optional<qint64> minutes;
    };
    const Case cases[] = {
        {"08.00", 480},
        {"8", 480},
        {"8.", 480},
        {".30", 1800},
        {"8..30", 510},
        {"8.30.15", 510},
        {"24.00", 1440},
        {"25.00", 1500},
        {"8.5", 485},
        {"8.75", 555},
        {"-1.30", -30},
        {"+8.+05", 485},
        {"-0.30", 30},
        {"00.00", 0},
        {"153722867280912930.07", int64Max},
        {"-153722867280912930.-08", int64Min},
        {"153722867280912930.08", std::nullopt},
        {"153722867280912931", std::nullopt},
        {"9223372036854775808.00", std::nullopt},
        {"", std::nullopt},
        {".", std::nullopt},
        {"..", std::nullopt},
        {"a.00", std::nullopt},
        {"8.a", std::nullopt},
        {" 8.00", std::nullopt},
        {"8.00 ", std::nullopt},
        {"8:00", std::nullopt},
        {"+.30", std::nullopt},
        {"-", std::nullopt},
        {"8.0x", std::nullopt},
        {"\u0668.00", std::nullopt}, // an Arabic-Indic eight
    };
    for (const Case& c : cases)
        EXPECT_EQ(TimeRestrictionModel::minutesFromText(QString::fromUtf8(c.text)), c.minutes) << c.text;

    TimeRestrictionModel model;
    model.EnabledThrough = {"08.00", "x"};
    EXPECT_EQ(model.minutes(0), 480);
    EXPECT_EQ(model.minutes(1), std::nullopt);
    EXPECT_EQ(model.minutes(2), std::nullopt);
    EXPECT_EQ(model.minutes(-1), std::nullopt);
}

TEST(Day, CasesRawValuesAndLookup)
{
    QStringList raw;
    for (const Day day : allDays())
        raw.append(rawValue(day));
    EXPECT_EQ(raw,
              QStringList({"monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"}));
    for (const Day day : allDays())
        EXPECT_EQ(dayFromRawValue(rawValue(day)), day);
    EXPECT_EQ(dayFromRawValue("Monday"), std::nullopt);
    EXPECT_EQ(dayFromRawValue("monday "), std::nullopt);
    EXPECT_EQ(dayFromRawValue(""), std::nullopt);
}
