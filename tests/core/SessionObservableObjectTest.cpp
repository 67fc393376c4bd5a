#include "core/SessionObservableObject.h"
#include "core/SessionData.h"
#include "platform/DateFormatter.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

namespace {

UserDefaults& store()
{
    return UserDefaults::standard();
}

void storeConfig(const ServerConfiguaration& config)
{
    store().setData("ServerConfiguaration", config.toJson());
}

void storeUses(qint64 count, const QDateTime& lastUse)
{
    store().setInteger("bypassesUsed", count);
    store().setString("lastRelaxedPolicyUsedTime", DateFormatter::shortStyle(lastUse));
}

const qint64 int64Max = std::numeric_limits<qint64>::max();
const qint64 int64Min = std::numeric_limits<qint64>::min();

} // namespace

TEST(SessionObservableObject, InitialValues)
{
    SessionObservableObject state;
    EXPECT_FALSE(state.isLoggedIn());
    EXPECT_EQ(state.selectedMainPage(), MainViewTabs::blockHistory);
    EXPECT_EQ(state.selectedSideBarTab(), MainViewTabs::blockHistory);
    EXPECT_EQ(state.syncStatus(), SessionObservableObject::SyncStatus::success);
    EXPECT_EQ(state.lastSyncTimeString(), QString());
    EXPECT_TRUE(state.timeRestrictions().isEmpty());
    EXPECT_EQ(state.bypassDuration(), 0);
    EXPECT_EQ(state.bypassesPermitted(), 2);
    EXPECT_FALSE(state.bypassEnabled());
    EXPECT_EQ(state.lastUpdateTimeString(), QString());
    EXPECT_FALSE(state.shouldRequestReboot());
    EXPECT_EQ(state.updateStatus(), SessionObservableObject::UpdateStatus::noUpdate);
    EXPECT_TRUE(state.isConnectedToInternet());
    EXPECT_TRUE(state.blockedUrls().isEmpty());
    EXPECT_TRUE(state.myBlockedSites().isEmpty());
    EXPECT_FALSE(store().contains("bypassesUsed")) << "construction reads nothing from the session store";
}

TEST(SessionObservableObject, RefreshSignsInOnlyWithATokenOfAtLeastOneCharacter)
{
    struct Case
    {
        std::optional<QString> token;
        bool loggedIn;
    };
    for (const Case& c :
         {Case{std::nullopt, false}, Case{QString(), false}, Case{QStringLiteral("x"), true}}) {
        if (c.token)
            store().setString("authToken", *c.token);
        else
            store().remove("authToken");
        SessionObservableObject state;
        state.setIsLoggedIn(!c.loggedIn);
        state.refreshFromSessionData();
        EXPECT_EQ(state.isLoggedIn(), c.loggedIn) << (c.token ? c.token->toStdString() : "absent");
    }
}

TEST(SessionObservableObject, RefreshCopiesTheConfiguration)
{
    struct Case
    {
        std::optional<qint64> bypassDuration;
        std::optional<qint64> bypassesPermitted;
        qint64 usesToday;
        qint64 expectedDuration;
        qint64 expectedPermitted;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, 0, int64Max, 0},
        {30, 3, 2, 30, 1},
        {0, 1, 3, 0, -2},
        {std::nullopt, std::nullopt, 2, int64Max, -2},
        {5, int64Min, 1, 5, int64Min},
        {5, int64Max, -1, 5, int64Max},
    };
    for (const Case& c : cases) {
        ServerConfiguaration config;
        config.BypassDuration = c.bypassDuration;
        config.BypassesPermitted = c.bypassesPermitted;
        storeConfig(config);
        storeUses(c.usesToday, QDateTime::currentDateTime());
        SessionData::setShared(std::make_shared<SessionData>());
        SessionObservableObject state;
        state.refreshFromSessionData();
        EXPECT_EQ(state.bypassDuration(), c.expectedDuration);
        EXPECT_EQ(state.bypassesPermitted(), c.expectedPermitted)
            << c.bypassesPermitted.value_or(-99) << " - " << c.usesToday;
    }
}

TEST(SessionObservableObject, RefreshCountsOnlyTodaysUses)
{
    ServerConfiguaration config;
    config.BypassesPermitted = 3;
    storeConfig(config);
    storeUses(2, QDateTime(QDate::currentDate().addDays(-1), QTime(22, 0)));
    SessionObservableObject state;
    state.refreshFromSessionData();
    EXPECT_EQ(state.bypassesPermitted(), 3);
    EXPECT_EQ(store().integer("bypassesUsed"), 0);
}

TEST(SessionObservableObject, RefreshSetsSyncRestrictionsRelaxedPolicyAndSites)
{
    const auto config = ServerConfiguaration::fromJson(R"({
        "SelfModeration": ["b.example", "a.example"],
        "TimeRestrictions": {"friday": {"EnabledThrough": ["8.00", "17.30"], "RestrictionsEnabled": true}}})");
    ASSERT_TRUE(config);
    storeConfig(config.value());
    const QDateTime synced(QDate(2024, 6, 1), QTime(14, 5));
    store().setString("lastSyncTime", DateFormatter::shortStyle(synced));
    store().setBool("isLastSyncFailed", true);
    SessionData::shared()->setRelaxedPolicyEnabledTime(QDateTime::currentDateTime());

    SessionObservableObject state;
    state.refreshFromSessionData();
    EXPECT_EQ(state.lastSyncTimeString(), DateFormatter::shortStyle(synced));
    EXPECT_EQ(state.syncStatus(), SessionObservableObject::SyncStatus::error);
    EXPECT_EQ(state.timeRestrictions(), config->TimeRestrictions.value());
    EXPECT_EQ(state.timeRestrictions().value("friday").intervals, QList<Interval>({{480, 1050}}));
    EXPECT_TRUE(state.bypassEnabled());
    EXPECT_EQ(state.myBlockedSites(), QStringList({"b.example", "a.example"}));

    store().setBool("isLastSyncFailed", false);
    SessionData::shared()->setRelaxedPolicyEnabledTime(std::nullopt);
    storeConfig(ServerConfiguaration());
    SessionData::setShared(std::make_shared<SessionData>());
    state.refreshFromSessionData();
    EXPECT_EQ(state.syncStatus(), SessionObservableObject::SyncStatus::success);
    EXPECT_TRUE(state.timeRestrictions().isEmpty());
    EXPECT_FALSE(state.bypassEnabled());
    EXPECT_TRUE(state.myBlockedSites().isEmpty());
}

TEST(SessionObservableObject, RefreshPublishesEightFieldsInOrderAndLeavesTheRest)
{
    SessionObservableObject state;
    const SessionObservableObject::BlockedUrl blocked(QDateTime::currentDateTime(), "http://blocked.example",
                                                      "adult", "");
    state.setBlockedUrls({blocked});
    state.setUpdateStatus(SessionObservableObject::UpdateStatus::hasUpdate);
    state.setSelectedMainPage(MainViewTabs::advanced);
    state.setSelectedSideBarTab(std::nullopt);
    state.setIsConnectedToInternet(false);
    state.setLastUpdateTimeString("checked");
    state.setShouldRequestReboot(true);

    QStringList published;
    using S = SessionObservableObject;
    QObject::connect(&state, &S::isLoggedInChanged, [&] { published << "isLoggedIn"; });
    QObject::connect(&state, &S::lastSyncTimeStringChanged, [&] { published << "lastSyncTimeString"; });
    QObject::connect(&state, &S::syncStatusChanged, [&] { published << "syncStatus"; });
    QObject::connect(&state, &S::timeRestrictionsChanged, [&] { published << "timeRestrictions"; });
    QObject::connect(&state, &S::bypassDurationChanged, [&] { published << "bypassDuration"; });
    QObject::connect(&state, &S::bypassesPermittedChanged, [&] { published << "bypassesPermitted"; });
    QObject::connect(&state, &S::bypassEnabledChanged, [&] { published << "bypassEnabled"; });
    QObject::connect(&state, &S::myBlockedSitesChanged, [&] { published << "myBlockedSites"; });
    std::vector<std::unique_ptr<QSignalSpy>> untouched;
    const QMetaObject* meta = state.metaObject();
    for (const char* other :
         {"selectedMainPage", "selectedSideBarTab", "lastUpdateTimeString", "shouldRequestReboot",
          "updateStatus", "isConnectedToInternet", "blockedUrls"}) {
        const QMetaProperty property = meta->property(meta->indexOfProperty(other));
        ASSERT_TRUE(property.hasNotifySignal()) << other;
        untouched.push_back(std::make_unique<QSignalSpy>(&state, property.notifySignal()));
    }

    state.refreshFromSessionData();
    EXPECT_EQ(published,
              QStringList({"isLoggedIn", "lastSyncTimeString", "syncStatus", "timeRestrictions",
                           "bypassDuration", "bypassesPermitted", "bypassEnabled", "myBlockedSites"}));
    for (const auto& spy : untouched)
        EXPECT_EQ(spy->count(), 0) << spy->signal().constData();
    EXPECT_EQ(state.blockedUrls(), QList<SessionObservableObject::BlockedUrl>({blocked}));
    EXPECT_EQ(state.updateStatus(), SessionObservableObject::UpdateStatus::hasUpdate);
    EXPECT_EQ(state.selectedMainPage(), MainViewTabs::advanced);
    EXPECT_EQ(state.selectedSideBarTab(), std::nullopt);
    EXPECT_FALSE(state.isConnectedToInternet());
    EXPECT_EQ(state.lastUpdateTimeString(), QStringLiteral("checked"));
    EXPECT_TRUE(state.shouldRequestReboot());
}

// Views bind by property name: every field is a property whose every write notifies,
// also when the value does not change.
TEST(SessionObservableObject, EveryFieldIsAPropertyThatNotifiesOnEachWrite)
{
    const QStringList fields = {"isLoggedIn",
                                "selectedMainPage",
                                "selectedSideBarTab",
                                "syncStatus",
                                "lastSyncTimeString",
                                "timeRestrictions",
                                "bypassDuration",
                                "bypassesPermitted",
                                "bypassEnabled",
                                "lastUpdateTimeString",
                                "shouldRequestReboot",
                                "updateStatus",
                                "isConnectedToInternet",
                                "blockedUrls",
                                "myBlockedSites"};
    SessionObservableObject state;
    const QMetaObject* meta = state.metaObject();
    EXPECT_EQ(meta->propertyCount() - meta->propertyOffset(), fields.size());
    for (const QString& field : fields) {
        const QMetaProperty property = meta->property(meta->indexOfProperty(field.toLatin1()));
        ASSERT_TRUE(property.isValid()) << field.toStdString();
        ASSERT_TRUE(property.hasNotifySignal()) << field.toStdString();
        QSignalSpy spy(&state, property.notifySignal());
        const QVariant value = property.read(&state);
        ASSERT_TRUE(value.isValid()) << field.toStdString();
        EXPECT_TRUE(property.write(&state, value)) << field.toStdString();
        EXPECT_TRUE(property.write(&state, value)) << field.toStdString();
        EXPECT_EQ(spy.count(), 2) << field.toStdString();
        EXPECT_EQ(property.read(&state), value) << field.toStdString();
    }
    state.setProperty("selectedMainPage",
                      QVariant::fromValue(std::optional<MainViewTabs>(MainViewTabs::filterTest)));
    EXPECT_EQ(state.selectedMainPage(), MainViewTabs::filterTest);
}

// Handlers on other threads pass their writes to the main thread; the values must travel
// through queued connections too.
TEST(SessionObservableObject, ChangesTravelThroughQueuedConnections)
{
    SessionObservableObject state;
    QList<SessionObservableObject::BlockedUrl> received;
    std::optional<MainViewTabs> page = MainViewTabs::blockHistory;
    QObject receiver;
    QObject::connect(
        &state, &SessionObservableObject::blockedUrlsChanged, &receiver,
        [&](const QList<SessionObservableObject::BlockedUrl>& urls) { received = urls; },
        Qt::QueuedConnection);
    QObject::connect(
        &state, &SessionObservableObject::selectedMainPageChanged, &receiver,
        [&](std::optional<MainViewTabs> tab) { page = tab; }, Qt::QueuedConnection);
    QSignalSpy statusSpy(&state, &SessionObservableObject::syncStatusChanged);

    const SessionObservableObject::BlockedUrl blocked(QDateTime::currentDateTime(), "http://a.example",
                                                      "gambling", "bet");
    std::thread emitter([&] {
        emit state.blockedUrlsChanged({blocked});
        emit state.selectedMainPageChanged(std::nullopt);
    });
    emitter.join();
    EXPECT_TRUE(received.isEmpty()) << "delivered on the receiver's thread, not the emitter's";
    QCoreApplication::processEvents();
    EXPECT_EQ(received, QList<SessionObservableObject::BlockedUrl>({blocked}));
    EXPECT_EQ(page, std::nullopt);

    state.setSyncStatus(SessionObservableObject::SyncStatus::inProgress);
    ASSERT_EQ(statusSpy.count(), 1);
    EXPECT_EQ(statusSpy.at(0).at(0).value<SessionObservableObject::SyncStatus>(),
              SessionObservableObject::SyncStatus::inProgress);
}

TEST(SessionObservableObject, BlockedUrlsGetTheirOwnIds)
{
    const QDateTime now = QDateTime::currentDateTime();
    const SessionObservableObject::BlockedUrl a(now, "http://a.example", "adult", "");
    const SessionObservableObject::BlockedUrl b(now, "http://a.example", "adult", "");
    EXPECT_FALSE(a.id.isNull());
    EXPECT_NE(a.id, b.id);
    EXPECT_NE(a, b);
    const SessionObservableObject::BlockedUrl copy = a;
    EXPECT_EQ(copy, a);
}

TEST(MainViewTabs, CasesInSidebarOrderWithTitles)
{
    QStringList titles;
    for (const MainViewTabs tab : allMainViewTabs())
        titles << rawValue(tab);
    EXPECT_EQ(titles, QStringList({"Block History", "My Blocked Sites", "Time Restrictions", "Relaxed Policy",
                                   "Advanced", "Filter Test", "Help & Support"}));
    for (const MainViewTabs tab : allMainViewTabs())
        EXPECT_EQ(mainViewTabsFromRawValue(rawValue(tab)), tab);
    for (const char* text : {"Help and Support", "help & support", "blockHistory", ""})
        EXPECT_EQ(mainViewTabsFromRawValue(text), std::nullopt) << text;
}
