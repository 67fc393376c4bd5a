// The updater's own decisions: when to check, which feed item to offer, what each event
// does to the session's update status, which windows it passes on, and what it does before
// the program relaunches. Checks run against the management-server peer.
#include "control/IpcConnection.h"
#include "control/Updater.h"
#include "core/Log.h"
#include "core/ServerConfiguaration.h"
#include "core/SessionData.h"
#include "core/SessionObservableObject.h"
#include "platform/Bundle.h"
#include "platform/DateFormatter.h"
#include "platform/UpdateSettings.h"
#include "platform/UserDefaults.h"

#include "FilterExtensionPeer.h"
#include "LogEntries.h"
#include "ManagementServerPeer.h"
#include "RecordingUserDriver.h"
#include "TestEnvironment.h"

#include <QPointer>
#include <QTest>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using UpdateStatus = SessionObservableObject::UpdateStatus;

const QString feedPath = QStringLiteral("/Velmora/update/macos/update.xml");

// An item whose enclosure carries the channel (none when channel is invalid).
AppcastItem itemOn(const QVariant& channel, const QString& title)
{
    AppcastItem item;
    item.title = title;
    QVariantMap enclosure{{QStringLiteral("url"), QStringLiteral("https://127.0.0.1/a.tar.xz")}};
    if (channel.isValid())
        enclosure.insert(QStringLiteral("channel"), channel);
    item.properties.insert(QStringLiteral("enclosure"), enclosure);
    return item;
}

void configureChannel(const std::optional<QString>& channel)
{
    auto configuration = ServerConfiguaration::fromJson("{}");
    ASSERT_TRUE(configuration.ok());
    ServerConfiguaration value = configuration.value();
    value.UpdateChannel = channel;
    SessionData::shared()->setUserConfig(value);
}

bool logHas(const QString& text)
{
    const QStringList entries = LogEntries::read(Log::shared().currentFilePath());
    return std::any_of(entries.cbegin(), entries.cend(), [&](const QString& entry) { return entry.contains(text); });
}

class UpdaterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.isRunning());
        Bundle::setMainBundlePath(QStringLiteral(NORVANE_TEST_BUNDLE_DIR));
        // A feed with nothing in it: a check ends with "no update".
        ManagementServerPeer::Answer emptyFeed;
        emptyFeed.body = R"(<?xml version="1.0"?><rss version="2.0" )"
                         R"(xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">)"
                         R"(<channel><title>Norvane</title></channel></rss>)";
        emptyFeed.contentType = QStringLiteral("application/rss+xml");
        ASSERT_TRUE(server.script(feedPath, emptyFeed));
    }

    std::unique_ptr<Updater> makeUpdater()
    {
        Updater::Options options;
        options.makeUserDriver = [this] { return std::make_unique<RecordingUserDriver>(&driverCalls); };
        options.now = [this] { return now; };
        options.relauncher = [this](const Bundle&) {
            ++relaunches;
            return true;
        };
        auto updater = std::make_unique<Updater>(std::move(options));
        updater->setSessionModel(&session);
        return updater;
    }

    static void setLastCheck(const QDateTime& time)
    {
        UpdateSettings(UserDefaults::standard(), QString()).setLastCheckTime(time);
    }

    int feedRequests() const { return static_cast<int>(server.requests(feedPath).size()); }

    ManagementServerPeer server;
    SessionObservableObject session;
    QStringList driverCalls;
    // Whole seconds, as any store keeps them.
    QDateTime now = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch());
    int relaunches = 0;
};

} // namespace

TEST_F(UpdaterTest, ConstructionSetsUpBothUpdatersWithoutChecking)
{
    auto updater = makeUpdater();
    EXPECT_EQ(updater->MIN_UPDATER_INTERVAL_SEC, 3600);
    ASSERT_TRUE(updater->spUpdaterMain);
    ASSERT_TRUE(updater->spUpdaterExtension);
    EXPECT_FALSE(updater->spUpdaterMain->automaticallyChecksForUpdates());
    EXPECT_FALSE(updater->spUpdaterExtension->automaticallyChecksForUpdates());
    EXPECT_EQ(updater->spUpdaterMain->hostBundle().bundlePath(), Bundle::main().bundlePath());
    EXPECT_EQ(updater->spUpdaterExtension->hostBundle().bundlePath(),
              IpcConnection::shared().extensionBundle().bundle.value_or(Bundle()).bundlePath());
    EXPECT_EQ(updater->spUpdaterExtension->applicationBundle().bundlePath(), Bundle::main().bundlePath());
    // The standard windows are told to close, not this object's status.
    EXPECT_EQ(driverCalls, QStringList{QStringLiteral("dismissUpdateInstallation")});
    EXPECT_EQ(session.updateStatus(), UpdateStatus::noUpdate);
    EXPECT_FALSE(updater->spUpdaterMain->sessionInProgress());
}

TEST_F(UpdaterTest, AutomaticCheckWaitsAnHourAfterTheLastOne)
{
    const struct
    {
        const char* name;
        std::optional<qint64> secondsSinceLastCheck;
        bool checks;
    } rows[] = {
        // First, while nothing has ever been checked.
        {"never", std::nullopt, true},
        {"3599 s ago", 3599, false},
        {"just now", 0, false},
        {"3600 s ago", 3600, true},
        // A last check in the future (the clock was set back) does not stop checks for good.
        {"an hour ahead", -3600, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto updater = makeUpdater();
        if (row.secondsSinceLastCheck)
            setLastCheck(now.addSecs(-*row.secondsSinceLastCheck));
        else
            ASSERT_FALSE(updater->spUpdaterMain->lastUpdateCheckDate().has_value());
        const QPointer<SoftwareUpdater> before = updater->spUpdaterMain.get();
        const int requestsBefore = feedRequests();
        driverCalls.clear();

        updater->checkForUpdatesIfNeeded();
        if (!row.checks) {
            EXPECT_EQ(updater->spUpdaterMain.get(), before.data());
            EXPECT_FALSE(updater->spUpdaterMain->sessionInProgress());
            EXPECT_TRUE(driverCalls.isEmpty());
            continue;
        }
        // setup() ran: a fresh updater, the windows dismissed, and a quiet check of the feed.
        EXPECT_TRUE(before.isNull());
        EXPECT_EQ(driverCalls.value(0), QStringLiteral("dismissUpdateInstallation"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return feedRequests() == requestsBefore + 1; }, 20000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !updater->spUpdaterMain->sessionInProgress(); }, 20000));
        // A background check with nothing new shows nothing.
        EXPECT_FALSE(driverCalls.contains(QStringLiteral("showUpdateNotFoundWithError")));
        EXPECT_FALSE(driverCalls.contains(QStringLiteral("showUserInitiatedUpdateCheckWithCancellation")));
    }
}

TEST_F(UpdaterTest, FeedAddressCarriesAcidVersionAndOsInThatOrder)
{
    auto updater = makeUpdater();
    const QString address = updater->feedURLStringForUpdater(*updater->spUpdaterMain);
    EXPECT_EQ(address, updater->feedURLStringForUpdater(*updater->spUpdaterExtension));
    const QUrl url(address);
    EXPECT_EQ(url.scheme(), QStringLiteral("https"));
    EXPECT_EQ(url.authority(), server.host());
    EXPECT_EQ(url.path(), feedPath);
    const auto items = QUrlQuery(url).queryItems();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0].first, QStringLiteral("acid"));
    EXPECT_EQ(items[1].first, QStringLiteral("v"));
    EXPECT_EQ(items[2].first, QStringLiteral("os"));
    EXPECT_EQ(items[1].second, Bundle::main().string(QStringLiteral("CFBundleShortVersionString")).value_or(QString()));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^([0-9A-F]{40})?$")).match(items[0].second).hasMatch());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+$")).match(items[2].second).hasMatch());

    // The check asks for exactly that address.
    updater->checkForUpdates();
    ASSERT_TRUE(QTest::qWaitFor([&] { return feedRequests() == 1; }, 20000));
    EXPECT_EQ(server.requests(feedPath).first().query, url.query());
}

TEST_F(UpdaterTest, OffersTheFirstItemOnTheWantedChannelExactly)
{
    const Appcast appcast{{itemOn(QStringLiteral("Beta"), QStringLiteral("beta")),
                           itemOn(QStringLiteral("stable"), QStringLiteral("lower case")),
                           itemOn(QStringLiteral("Stable"), QStringLiteral("first stable")),
                           itemOn(QStringLiteral("Stable"), QStringLiteral("second stable"))}};
    const struct
    {
        const char* name;
        std::optional<QString> configured;
        const char* chosen; // nullptr: nothing offered
    } rows[] = {
        {"no channel configured", std::nullopt, "first stable"},
        {"Stable", QStringLiteral("Stable"), "first stable"},
        {"Beta", QStringLiteral("Beta"), "beta"},
        {"lower case", QStringLiteral("stable"), "lower case"},
        {"nobody's channel", QStringLiteral("Nightly"), nullptr},
        {"empty channel", QString(), nullptr},
    };
    auto updater = makeUpdater();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        configureChannel(row.configured);
        session.setUpdateStatus(UpdateStatus::hasUpdate);
        const auto chosen = updater->bestValidUpdateInAppcast(appcast, *updater->spUpdaterMain);
        if (row.chosen) {
            ASSERT_TRUE(chosen.has_value());
            EXPECT_EQ(chosen->title, QString::fromLatin1(row.chosen));
            EXPECT_EQ(session.updateStatus(), UpdateStatus::hasUpdate);
        } else {
            EXPECT_FALSE(chosen.has_value());
            EXPECT_EQ(session.updateStatus(), UpdateStatus::noUpdate);
        }
    }
}

TEST_F(UpdaterTest, ItemsWithoutATextChannelNeverMatch)
{
    configureChannel(std::nullopt);
    AppcastItem noEnclosure;
    noEnclosure.title = QStringLiteral("no enclosure");
    AppcastItem enclosureNotADictionary;
    enclosureNotADictionary.properties.insert(QStringLiteral("enclosure"), QStringLiteral("Stable"));
    const Appcast appcast{{noEnclosure, enclosureNotADictionary, itemOn(QVariant(), QStringLiteral("no channel")),
                           itemOn(QVariantList{QStringLiteral("Stable")}, QStringLiteral("list channel"))}};
    auto updater = makeUpdater();
    session.setUpdateStatus(UpdateStatus::inProgress);
    EXPECT_FALSE(updater->bestValidUpdateInAppcast(appcast, *updater->spUpdaterMain).has_value());
    EXPECT_EQ(session.updateStatus(), UpdateStatus::noUpdate);

    session.setUpdateStatus(UpdateStatus::inProgress);
    EXPECT_FALSE(updater->bestValidUpdateInAppcast(Appcast(), *updater->spUpdaterMain).has_value());
    EXPECT_EQ(session.updateStatus(), UpdateStatus::noUpdate);
}

TEST_F(UpdaterTest, DelegateEventsSetTheStatusAndOnlyRealErrorsAreLogged)
{
    auto updater = makeUpdater();
    SoftwareUpdater& main = *updater->spUpdaterMain;

    session.setUpdateStatus(UpdateStatus::inProgress);
    updater->didAbortWithError(main, UpdateError(UpdateError::NoUpdateError, QStringLiteral("You're up to date!")));
    EXPECT_EQ(session.updateStatus(), UpdateStatus::noUpdate);
    EXPECT_FALSE(logHas(QStringLiteral("Update with error")));

    updater->didAbortWithError(main, UpdateError(UpdateError::SignatureError, QStringLiteral("bad signature")));
    EXPECT_EQ(session.updateStatus(), UpdateStatus::error);
    EXPECT_TRUE(logHas(QStringLiteral("Update with error: bad signature")));

    updater->didFindValidUpdate(main, AppcastItem());
    EXPECT_EQ(session.updateStatus(), UpdateStatus::hasUpdate);
    updater->updaterDidNotFindUpdate(main);
    EXPECT_EQ(session.updateStatus(), UpdateStatus::noUpdate);
}

TEST_F(UpdaterTest, EachUserDriverCallIsPassedOnOrNotAsItsRowSays)
{
    const struct
    {
        const char* name;
        std::function<void(Updater&)> call;
        QStringList passedOn;
        std::optional<UpdateStatus> status; // nothing: unchanged
    } rows[] = {
        {"permission", [](Updater& u) { u.showUpdatePermissionRequest([](bool) {}); },
         {"showUpdatePermissionRequest"}, std::nullopt},
        {"user-initiated check", [](Updater& u) { u.showUserInitiatedUpdateCheckWithCancellation([] {}); }, {},
         UpdateStatus::inProgress},
        {"update found", [](Updater& u) { u.showUpdateFoundWithAppcastItem(AppcastItem(), {}, [](UpdateChoice) {}); },
         {"showUpdateFoundWithAppcastItem"}, UpdateStatus::hasUpdate},
        {"release notes", [](Updater& u) { u.showUpdateReleaseNotesWithDownloadData("<p>notes</p>"); }, {},
         std::nullopt},
        {"release notes failed",
         [](Updater& u) { u.showUpdateReleaseNotesFailedToDownloadWithError(UpdateError()); }, {}, std::nullopt},
        {"not found", [](Updater& u) { u.showUpdateNotFoundWithError(UpdateError(), [] {}); }, {}, std::nullopt},
        {"error", [](Updater& u) { u.showUpdaterError(UpdateError(), [] {}); },
         {"showUpdaterError", "dismissUpdateInstallation"}, std::nullopt},
        {"download", [](Updater& u) { u.showDownloadInitiatedWithCancellation([] {}); },
         {"showDownloadInitiatedWithCancellation"}, std::nullopt},
        {"length", [](Updater& u) { u.showDownloadDidReceiveExpectedContentLength(10); },
         {"showDownloadDidReceiveExpectedContentLength"}, std::nullopt},
        {"data", [](Updater& u) { u.showDownloadDidReceiveDataOfLength(5); }, {"showDownloadDidReceiveDataOfLength"},
         std::nullopt},
        {"extracting", [](Updater& u) { u.showDownloadDidStartExtractingUpdate(); },
         {"showDownloadDidStartExtractingUpdate"}, std::nullopt},
        {"extraction progress", [](Updater& u) { u.showExtractionReceivedProgress(0.5); },
         {"showExtractionReceivedProgress"}, std::nullopt},
        {"ready", [](Updater& u) { u.showReadyToInstallAndRelaunch([](UpdateChoice) {}); },
         {"showReadyToInstallAndRelaunch"}, std::nullopt},
        {"installing", [](Updater& u) { u.showInstallingUpdateWithApplicationTerminated(true, [] {}); },
         {"showInstallingUpdateWithApplicationTerminated"}, std::nullopt},
        {"installed", [](Updater& u) { u.showUpdateInstalledAndRelaunched(true, [] {}); },
         {"showUpdateInstalledAndRelaunched"}, std::nullopt},
        {"focus", [](Updater& u) { u.showUpdateInFocus(); }, {"showUpdateInFocus"}, std::nullopt},
        {"dismiss", [](Updater& u) { u.dismissUpdateInstallation(); }, {}, UpdateStatus::noUpdate},
    };
    auto updater = makeUpdater();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        // A status no row sets, so that every change shows.
        session.setUpdateStatus(UpdateStatus::error);
        driverCalls.clear();
        row.call(*updater);
        EXPECT_EQ(driverCalls, row.passedOn);
        EXPECT_EQ(session.updateStatus(), row.status.value_or(UpdateStatus::error));
    }
}

TEST_F(UpdaterTest, UpdateFoundAlsoRefreshesTheLastCheckedText)
{
    auto updater = makeUpdater();
    setLastCheck(now.addSecs(-7200));
    updater->showUpdateFoundWithAppcastItem(AppcastItem(), {}, [](UpdateChoice) {});
    EXPECT_EQ(session.lastUpdateTimeString(), DateFormatter::shortStyle(now.addSecs(-7200)));
}

TEST_F(UpdaterTest, LastCheckedTextIsTheLastCheckOrNow)
{
    auto updater = makeUpdater();
    updater->refreshLastUpdateTime();
    EXPECT_EQ(session.lastUpdateTimeString(), DateFormatter::shortStyle(now));
    const QDateTime lastCheck = now.addDays(-3).addSecs(-600);
    setLastCheck(lastCheck);
    updater->refreshLastUpdateTime();
    EXPECT_EQ(session.lastUpdateTimeString(), DateFormatter::shortStyle(lastCheck));
}

TEST_F(UpdaterTest, BeforeRelaunchTheExtensionIsToldAndTheTimeStored)
{
    FilterExtensionPeer extension;
    ASSERT_TRUE(extension.start());
    std::optional<bool> registered;
    IpcConnection::shared().connectToProvider(getpid(), [&](bool success) { registered = success; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return registered.has_value(); }, 10000));
    ASSERT_TRUE(*registered);

    auto updater = makeUpdater();
    now = QDateTime::currentDateTime().addSecs(-30);
    updater->updaterWillRelaunchApplication(*updater->spUpdaterMain);
    const auto received = extension.waitForReceived(1, rawValue(IpcMessageId::update));
    ASSERT_TRUE(received.has_value());
    EXPECT_TRUE(received->last().toObject().value(QStringLiteral("accepted")).toBool());
    // Stored at the minute, as every date of the session store is.
    EXPECT_EQ(DateFormatter::shortStyle(SessionData::shared()->lastUpdateTime()), DateFormatter::shortStyle(now));
    EXPECT_GT(SessionData::shared()->lastUpdateTime(), SessionData::bootTime());
}
