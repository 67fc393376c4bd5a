#include "core/SessionData.h"
#include "core/Log.h"
#include "platform/DateFormatter.h"
#include "platform/UserDefaults.h"

#include "TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <ctime>
#include <gtest/gtest.h>

namespace {

UserDefaults& store()
{
    return UserDefaults::standard();
}

QDateTime today(int hour, int minute, int second = 0)
{
    return QDateTime(QDate::currentDate(), QTime(hour, minute, second));
}

QDateTime yesterday(int hour, int minute)
{
    return QDateTime(QDate::currentDate().addDays(-1), QTime(hour, minute));
}

// Seconds since 2001-01-01 00:00:00 UTC, worked out here rather than by the code under test.
double since2001(const QDateTime& date)
{
    return double(QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).msecsTo(date)) / 1000.0;
}

void storeDate(const QString& key, const QDateTime& date)
{
    store().setString(key, DateFormatter::shortStyle(date));
}

std::optional<QDateTime> storedDate(const QString& key)
{
    const std::optional<QString> text = store().string(key);
    return text ? DateFormatter::parseShortStyle(*text) : std::nullopt;
}

qint64 secondsApart(const QDateTime& a, const QDateTime& b)
{
    return std::abs(a.secsTo(b));
}

const QDateTime syncTime = QDateTime(QDate(2024, 3, 5), QTime(9, 30));
const QDateTime enabledTime = QDateTime(QDate(2024, 3, 5), QTime(10, 0));
const QDateTime usedTime = QDateTime(QDate(2024, 3, 5), QTime(11, 45));

QJsonObject fullDocument()
{
    return QJsonObject{
        {"authToken", "token-new"},
        {"userEmail", "new@example.com"},
        {"userConfig", QJsonObject{{"BypassesPermitted", 3}, {"SelfModeration", QJsonArray{"new.example"}}}},
        {"lastSyncTime", since2001(syncTime)},
        {"isLastSyncFailed", true},
        {"bypassesUsed", 1},
        {"relaxedPolicyEnabledTime", since2001(enabledTime)},
        {"lastRelaxedPolicyUsedTime", since2001(usedTime)},
    };
}

} // namespace

TEST(SessionData, FreshInstallDefaults)
{
    SessionData session;
    const QDateTime now = QDateTime::currentDateTime();
    timespec sinceBoot{};
    clock_gettime(CLOCK_BOOTTIME, &sinceBoot);

    EXPECT_EQ(session.authToken(), QString());
    EXPECT_EQ(session.userEmail(), QString());
    EXPECT_LE(secondsApart(session.lastSyncTime(), now), 2);
    EXPECT_FALSE(session.isLastSyncFailed());
    EXPECT_FALSE(session.relaxedPolicyEnabledTime().has_value());
    EXPECT_EQ(session.lastRelaxedPolicyUsedTime(), QDateTime(QDate::currentDate().addDays(-1), QTime(0, 0)));
    EXPECT_LE(secondsApart(session.lastUpdateTime(), now.addSecs(-qint64(sinceBoot.tv_sec) - 1)), 2);

    EXPECT_FALSE(store().contains("bypassesUsed"));
    EXPECT_EQ(session.bypassesUsed(), 0);
    EXPECT_EQ(store().integer("bypassesUsed"), 0) << "the daily reset is stored";

    EXPECT_EQ(session.userConfig(), ServerConfiguaration::makeDefault());
    EXPECT_FALSE(store().contains("ServerConfiguaration")) << "the default is kept in memory only";
}

TEST(SessionData, UnreadableDateTextsReadAsTheirFallbacksAndStay)
{
    for (const char* key :
         {"lastUpdateTime", "lastSyncTime", "relaxedPolicyEnabledTime", "lastRelaxedPolicyUsedTime"})
        store().setString(key, "not a date");
    SessionData session;
    const QDateTime now = QDateTime::currentDateTime();
    EXPECT_LT(session.lastUpdateTime(), now);
    EXPECT_LE(secondsApart(session.lastSyncTime(), now), 2);
    EXPECT_FALSE(session.relaxedPolicyEnabledTime().has_value());
    EXPECT_LE(secondsApart(session.lastRelaxedPolicyUsedTime(), now), 2);
    EXPECT_EQ(store().string("lastSyncTime"), QStringLiteral("not a date"));
}

TEST(SessionData, BypassesUsedResetsOnANewDay)
{
    struct Case
    {
        std::optional<QDateTime> lastUse;
        qint64 expected;
    };
    const Case cases[] = {
        {yesterday(23, 59), 0},
        {yesterday(0, 0), 0},
        {std::nullopt, 0},
        {QDateTime(QDate::currentDate(), QTime(0, 0)), 2},
        {QDateTime::currentDateTime(), 2},
    };
    for (const Case& c : cases) {
        store().setInteger("bypassesUsed", 2);
        if (c.lastUse)
            storeDate("lastRelaxedPolicyUsedTime", *c.lastUse);
        else
            store().remove("lastRelaxedPolicyUsedTime");
        const QString label = c.lastUse ? c.lastUse->toString(Qt::ISODate) : QStringLiteral("absent");
        EXPECT_EQ(SessionData().bypassesUsed(), c.expected) << label.toStdString();
        EXPECT_EQ(store().integer("bypassesUsed"), c.expected) << label.toStdString();
    }
}

TEST(SessionData, RelaxedPolicyEnabledTimeSetter)
{
    SessionData session;
    session.setLastRelaxedPolicyUsedTime(yesterday(8, 0));
    session.setRelaxedPolicyEnabledTime(today(9, 41));
    EXPECT_EQ(session.relaxedPolicyEnabledTime(), today(9, 41));
    EXPECT_EQ(session.lastRelaxedPolicyUsedTime(), today(9, 41));

    session.setRelaxedPolicyEnabledTime(std::nullopt);
    EXPECT_FALSE(store().contains("relaxedPolicyEnabledTime"));
    EXPECT_FALSE(session.relaxedPolicyEnabledTime().has_value());
    EXPECT_EQ(session.lastRelaxedPolicyUsedTime(), today(9, 41));
}

TEST(SessionData, StoredDatesKeepOnlyTheMinute)
{
    SessionData session;
    session.setLastUpdateTime(today(10, 15, 40));
    EXPECT_EQ(session.lastUpdateTime(), today(10, 15));
    session.setLastRelaxedPolicyUsedTime(today(23, 59, 59));
    EXPECT_EQ(session.lastRelaxedPolicyUsedTime(), today(23, 59));
}

TEST(SessionData, EncodeWithNothingStored)
{
    const QJsonObject json = SessionData().encode();
    EXPECT_EQ(json.size(), 8);
    EXPECT_EQ(json.value("authToken"), QJsonValue(""));
    EXPECT_EQ(json.value("userEmail"), QJsonValue(""));
    EXPECT_TRUE(json.value("relaxedPolicyEnabledTime").isNull());
    EXPECT_EQ(json.value("userConfig").toObject(), ServerConfiguaration::makeDefault().encode());
    EXPECT_EQ(json.value("isLastSyncFailed"), QJsonValue(false));
    EXPECT_EQ(json.value("bypassesUsed").toInteger(-1), 0);
    EXPECT_EQ(json.value("lastRelaxedPolicyUsedTime").toDouble(), since2001(yesterday(0, 0)));
    EXPECT_NEAR(json.value("lastSyncTime").toDouble(), since2001(QDateTime::currentDateTime()), 2.0);
}

TEST(SessionData, ReferenceDatesCarryFractions)
{
    const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    struct Case
    {
        double seconds;
        QDateTime date;
    };
    const Case cases[] = {
        {0.0, reference},
        {0.5, reference.addMSecs(500)},
        {-1.25, reference.addMSecs(-1250)},
        {631152000.25, QDateTime(QDate(2021, 1, 1), QTime(0, 0, 0, 250), Qt::UTC)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SessionData::fromReferenceSeconds(c.seconds), c.date) << c.seconds;
        EXPECT_DOUBLE_EQ(SessionData::referenceSeconds(c.date), c.seconds);
    }
    EXPECT_FALSE(SessionData::fromReferenceSeconds(1e300).has_value());
    EXPECT_FALSE(SessionData::fromReferenceSeconds(std::numeric_limits<double>::infinity()).has_value());
}

TEST(SessionData, DecodeStoresEveryValue)
{
    const auto decoded = SessionData::decode(fullDocument());
    ASSERT_TRUE(decoded) << decoded.error().toStdString();
    EXPECT_EQ(store().string("authToken"), QStringLiteral("token-new"));
    EXPECT_EQ(store().string("userEmail"), QStringLiteral("new@example.com"));
    EXPECT_EQ(storedDate("lastSyncTime"), syncTime);
    EXPECT_EQ(store().boolean("isLastSyncFailed"), true);
    EXPECT_EQ(store().integer("bypassesUsed"), 1);
    EXPECT_EQ(storedDate("relaxedPolicyEnabledTime"), enabledTime);
    EXPECT_EQ(storedDate("lastRelaxedPolicyUsedTime"), usedTime)
        << "the last key overwrites what the setter stored";
    const auto config = ServerConfiguaration::fromJson(store().data("ServerConfiguaration").value_or(""));
    ASSERT_TRUE(config);
    EXPECT_EQ(config->BypassesPermitted, 3);
    EXPECT_EQ(decoded.value()->cachedConfig(), config.value());
}

TEST(SessionData, DecodeWithNullRelaxedPolicyRemovesTheKey)
{
    storeDate("relaxedPolicyEnabledTime", today(8, 0));
    QJsonObject document = fullDocument();
    document.insert("relaxedPolicyEnabledTime", QJsonValue::Null);
    const auto decoded = SessionData::decode(document);
    ASSERT_TRUE(decoded) << decoded.error().toStdString();
    EXPECT_FALSE(store().contains("relaxedPolicyEnabledTime"));
    EXPECT_EQ(storedDate("lastRelaxedPolicyUsedTime"), usedTime);
}

// Each key in coding order, missing or of the wrong type: the keys before it are stored,
// the key itself and those after it keep what was stored.
TEST(SessionData, DecodeStopsAtTheFirstBadKey)
{
    const QStringList keys = {"authToken",
                              "userEmail",
                              "userConfig",
                              "lastSyncTime",
                              "isLastSyncFailed",
                              "bypassesUsed",
                              "relaxedPolicyEnabledTime",
                              "lastRelaxedPolicyUsedTime"};
    const QJsonValue wrongTypes[] = {
        5, QJsonValue::Null, QJsonObject{{"PrimaryDns", 5}}, "yesterday", 1, 1.5, "x", QJsonValue::Null};
    const auto storedState = [] {
        return QStringList{store().string("authToken").value_or("-"),
                           store().string("userEmail").value_or("-"),
                           QString::fromUtf8(store().data("ServerConfiguaration").value_or("-")),
                           store().string("lastSyncTime").value_or("-"),
                           store().boolean("isLastSyncFailed").value_or(false) ? "true" : "false",
                           QString::number(store().integer("bypassesUsed").value_or(-1)),
                           store().string("relaxedPolicyEnabledTime").value_or("-"),
                           store().string("lastRelaxedPolicyUsedTime").value_or("-")};
    };

    store().clear();
    ASSERT_TRUE(SessionData::decode(fullDocument()));
    const QStringList newState = storedState();

    for (int variant = 0; variant < 2; ++variant) {
        for (qsizetype bad = 0; bad < keys.size(); ++bad) {
            store().clear();
            store().setString("authToken", "token-old");
            store().setString("userEmail", "old@example.com");
            store().setData("ServerConfiguaration", R"({"sha1":"old"})");
            storeDate("lastSyncTime", yesterday(7, 0));
            store().setBool("isLastSyncFailed", false);
            store().setInteger("bypassesUsed", 7);
            storeDate("relaxedPolicyEnabledTime", yesterday(7, 30));
            storeDate("lastRelaxedPolicyUsedTime", yesterday(7, 31));
            const QStringList oldState = storedState();

            QJsonObject document = fullDocument();
            if (variant == 0)
                document.remove(keys[bad]);
            else
                document.insert(keys[bad], wrongTypes[bad]);
            const auto decoded = SessionData::decode(document);
            const std::string label =
                keys[bad].toStdString() + (variant == 0 ? " missing" : " of the wrong type");
            EXPECT_FALSE(decoded) << label;
            EXPECT_FALSE(decoded.error().isEmpty()) << label;

            QStringList expected = oldState;
            for (qsizetype i = 0; i < bad; ++i)
                expected[i] = newState[i];
            // A relaxed policy that did decode also moved the last use to its date.
            if (bad == 7)
                expected[7] = newState[6];
            EXPECT_EQ(storedState(), expected) << label;
        }
    }
}

TEST(SessionData, DecodeNeverTouchesLastUpdateTime)
{
    store().setString("lastUpdateTime", "kept as it is");
    ASSERT_TRUE(SessionData::decode(fullDocument()));
    EXPECT_EQ(store().string("lastUpdateTime"), QStringLiteral("kept as it is"));
    QJsonObject extra = fullDocument();
    extra.insert("lastUpdateTime", since2001(today(1, 0)));
    ASSERT_TRUE(SessionData::decode(extra));
    EXPECT_EQ(store().string("lastUpdateTime"), QStringLiteral("kept as it is"));

    store().remove("lastUpdateTime");
    ASSERT_TRUE(SessionData::decode(fullDocument()));
    EXPECT_FALSE(store().contains("lastUpdateTime"));
}

TEST(SessionData, GarbageDocumentsFailWithoutStoringAnything)
{
    store().setString("authToken", "kept");
    for (const char* json : {"", "garbage", "[]", "null", R"({"authToken": )"}) {
        const auto decoded = SessionData::fromJson(json);
        EXPECT_FALSE(decoded) << json;
        EXPECT_FALSE(decoded.error().isEmpty()) << json;
    }
    EXPECT_EQ(store().string("authToken"), QStringLiteral("kept"));
}

TEST(SessionData, JsonRoundTrips)
{
    for (const bool relaxedPolicyRunning : {true, false}) {
        store().clear();
        SessionData session;
        store().setString("authToken", "t0k\"en");
        store().setString("userEmail", "user@example.com");
        ServerConfiguaration config = ServerConfiguaration::makeDefault();
        config.SelfModeration = QStringList{"a.example", "b.example"};
        config.TimeRestrictions = TimeRestrictionMap{};
        session.setUserConfig(config);
        storeDate("lastSyncTime", yesterday(18, 5));
        store().setBool("isLastSyncFailed", true);
        store().setInteger("bypassesUsed", 2);
        session.setRelaxedPolicyEnabledTime(relaxedPolicyRunning ? std::optional(today(0, 10))
                                                                 : std::nullopt);
        session.setLastRelaxedPolicyUsedTime(today(0, 20));

        const QByteArray first = session.toJson();
        store().clear();
        const auto decoded = SessionData::fromJson(first);
        ASSERT_TRUE(decoded) << decoded.error().toStdString();
        EXPECT_EQ(decoded.value()->userConfig(), config);
        EXPECT_EQ(QJsonDocument::fromJson(decoded.value()->toJson()).object(),
                  QJsonDocument::fromJson(first).object())
            << first.constData();
    }
}

TEST(SessionData, StoredConfigurationIsReadOncePerInstance)
{
    ServerConfiguaration first;
    first.sha1 = "first";
    SessionData writer;
    writer.setUserConfig(first);
    EXPECT_EQ(store().data("ServerConfiguaration"), first.toJson());

    SessionData reader;
    EXPECT_FALSE(reader.cachedConfig().has_value());
    EXPECT_EQ(reader.userConfig(), first);
    ServerConfiguaration second;
    second.sha1 = "second";
    store().setData("ServerConfiguaration", second.toJson());
    EXPECT_EQ(reader.userConfig(), first);
    EXPECT_EQ(SessionData().userConfig(), second);
}

TEST(SessionData, UndecodableStoredConfigurationReadsAsTheDefault)
{
    const auto storeRaw = [](const QByteArray& data) { store().setData("ServerConfiguaration", data); };
    const std::function<void()> cases[] = {
        [&] { storeRaw(R"({"BypassesPermitted": "3", "SelfModeration": "a.example"})"); },
        [&] {
            storeRaw(R"({"TimeRestrictions": {"monday": {"RestrictionsEnabled": 1, "EnabledThrough": 8}}})");
        },
        [&] { storeRaw("\xff\xfe garbage"); },
        [&] { storeRaw("[1, 2]"); },
        [&] { store().setString("ServerConfiguaration", R"({"sha1": "text, not data"})"); },
        [&] { store().setInteger("ServerConfiguaration", 42); },
    };
    int index = 0;
    for (const auto& storeCase : cases) {
        storeCase();
        const std::optional<QByteArray> before = store().data("ServerConfiguaration");
        SessionData session;
        EXPECT_EQ(session.userConfig(), ServerConfiguaration::makeDefault()) << index;
        EXPECT_EQ(session.cachedConfig(), ServerConfiguaration::makeDefault()) << index;
        EXPECT_EQ(store().data("ServerConfiguaration"), before)
            << "the stored value is left alone, case " << index;
        ++index;
    }
    EXPECT_TRUE(TestEnvironment::readFile(Log::shared().currentFilePath()).contains("does not decode"));
}

TEST(SessionData, SharedInstanceIsReplacedWhole)
{
    const std::shared_ptr<SessionData> first = SessionData::shared();
    EXPECT_EQ(SessionData::shared(), first);
    const auto decoded = SessionData::decode(fullDocument());
    ASSERT_TRUE(decoded);
    SessionData::setShared(decoded.value());
    EXPECT_EQ(SessionData::shared(), decoded.value());
    EXPECT_EQ(SessionData::shared()->userConfig().BypassesPermitted, 3);
    SessionData::setShared(nullptr);
    EXPECT_EQ(SessionData::shared(), decoded.value());
}
