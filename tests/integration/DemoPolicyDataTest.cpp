// The demo account's policy as the two stand-ins serve it together: what the policy pages
// show to someone trying the program for the first time.
#include "control/IpcConnection.h"
#include "control/RelaxedPolicyMessage.h"
#include "core/ApiClient.h"
#include "core/ApiUrls.h"
#include "core/DataRequest.h"
#include "core/Day.h"
#include "core/HttpSession.h"
#include "core/Log.h"
#include "core/SessionData.h"
#include "platform/Bundle.h"
#include "platform/UserDefaults.h"

#include "FilterExtensionPeer.h"
#include "LogEntries.h"
#include "ManagementServerPeer.h"

#include <QJsonDocument>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <unistd.h>

namespace {

class DemoPolicyDataTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.isRunning());
        UserDefaults::standard().setString(SessionData::authTokenKey,
                                           QString::fromLatin1(ManagementServerPeer::demoToken));
        Bundle::setMainBundlePath(QStringLiteral(NORVANE_TEST_BUNDLE_DIR));
        ASSERT_TRUE(extension.start());
    }

    // A registered link tries once to reconnect when the extension goes; that attempt ends
    // here rather than while the process tears down around it.
    void TearDown() override
    {
        if (IpcConnection::shared().connectionCount() == 0)
            return;
        const QString failed = QStringLiteral("IpcConnection Failed to register with the provider");
        const auto failures = [&] {
            const QStringList entries = LogEntries::read(Log::shared().currentFilePath());
            return std::count_if(entries.cbegin(), entries.cend(), [&](const QString& e) { return e.contains(failed); });
        };
        const auto before = failures();
        extension.stop();
        (void)QTest::qWaitFor(
            [&] { return failures() > before && IpcConnection::shared().connectionCount() == 0; }, 10000);
    }

    // The demo session the extension would send now.
    ServerConfiguaration demoConfig()
    {
        const std::optional<QJsonObject> answer = extension.command({{QStringLiteral("cmd"), QStringLiteral("userData")}});
        EXPECT_TRUE(answer.has_value());
        const QByteArray data =
            answer ? QJsonDocument(answer->value(QStringLiteral("data")).toObject()).toJson() : QByteArray();
        const auto decoded = SessionData::fromJson(data);
        EXPECT_TRUE(decoded) << decoded.error().toStdString();
        return decoded ? decoded.value()->userConfig() : ServerConfiguaration();
    }

    int addSite(const QString& site)
    {
        int status = -1;
        ApiClient::session()
            .post(QUrl(ApiUrls::selfModerationAdd()), ApiClient::parameters({{QStringLiteral("url"), site}}),
                  ApiClient::headers())
            ->response([&](const DataResponse<QByteArray>& reply) { status = reply.statusCode(); });
        EXPECT_TRUE(QTest::qWaitFor([&] { return status != -1; }, 15000));
        return status;
    }

    ManagementServerPeer server;
    FilterExtensionPeer extension;
};

} // namespace

TEST_F(DemoPolicyDataTest, SitesAddedOnTheServerFollowTheDemoList)
{
    const QStringList demoSites = *demoConfig().SelfModeration;
    ASSERT_FALSE(demoSites.isEmpty());
    EXPECT_EQ(addSite(QStringLiteral("added.example")), 200);
    EXPECT_EQ(addSite(QStringLiteral("second.example")), 200);
    EXPECT_EQ(addSite(QStringLiteral("added.example")), 200);
    const QStringList expected = demoSites + QStringList{QStringLiteral("added.example"), QStringLiteral("second.example")};
    EXPECT_EQ(*demoConfig().SelfModeration, expected);

    // A refused addition is not kept; a reset forgets the additions.
    ManagementServerPeer::Answer refused;
    refused.status = 400;
    refused.body = R"({"error":"no"})";
    ASSERT_TRUE(server.script(QStringLiteral("me/self_moderation/add"), refused, true));
    EXPECT_EQ(addSite(QStringLiteral("refused.example")), 400);
    EXPECT_EQ(demoConfig().SelfModeration->size(), demoSites.size() + 2);
    ASSERT_TRUE(server.reset());
    EXPECT_EQ(*demoConfig().SelfModeration, demoSites);
}

TEST_F(DemoPolicyDataTest, TheWeekIsRestrictedAroundNowAndTheRelaxedPolicyHasAPasscode)
{
    const QDateTime before = QDateTime::currentDateTime();
    const ServerConfiguaration config = demoConfig();
    EXPECT_EQ(config.EnableRelaxedPolicyPasscode, 1);
    ASSERT_TRUE(config.TimeRestrictions.has_value());
    const TimeRestrictionMap& week = *config.TimeRestrictions;
    for (const Day day : allDays())
        EXPECT_TRUE(week.contains(rawValue(day))) << rawValue(day).toStdString();

    const int today = before.date().dayOfWeek() - 1;
    const TimeRestrictionModel& todays = week.value(rawValue(allDays().at(today)));
    EXPECT_TRUE(todays.RestrictionsEnabled);
    const qint64 minute = before.time().hour() * 60 + before.time().minute();
    for (const Interval& allowed : todays.intervals)
        EXPECT_FALSE(allowed.from <= minute && minute < allowed.to) << "now is restricted";
    const TimeRestrictionModel& tomorrows = week.value(rawValue(allDays().at((today + 1) % 7)));
    EXPECT_TRUE(tomorrows.RestrictionsEnabled);
    EXPECT_EQ(tomorrows.intervals.size(), 2);

    // The extension grants the relaxed policy for the demo passcode only.
    std::mutex mutex;
    QStringList answers;
    IpcConnection::shared().addMessageHandler(IpcMessageId::relaxedPolicy, [&](const std::shared_ptr<IpcMessage>& m) {
        const auto& reply = static_cast<const RelaxedPolicyMessage&>(*m);
        std::lock_guard lock(mutex);
        answers.append(reply.allowed ? QStringLiteral("granted") : reply.messageOrPasscode);
    });
    std::atomic<int> registered{-1};
    IpcConnection::shared().connectToProvider(getpid(), [&](bool ok) { registered = ok ? 1 : 0; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return registered == 1; }, 10000));
    for (const char* passcode : {"1234", "2468"}) {
        RelaxedPolicyMessage request;
        request.enable = true;
        request.messageOrPasscode = QString::fromLatin1(passcode);
        IpcConnection::shared().sendMessage(request);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { std::lock_guard lock(mutex); return answers.size() == 2; }, 10000));
    IpcConnection::shared().removeMessageHandler(IpcMessageId::relaxedPolicy);
    std::lock_guard lock(mutex);
    EXPECT_EQ(answers, (QStringList{QStringLiteral("Incorrect passcode"), QStringLiteral("granted")}));
}
