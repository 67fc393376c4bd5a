#include "core/SessionData.h"
#include "platform/UserDefaults.h"

#include "HttpTestSupport.h"
#include "ManagementServerPeer.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

struct Outcome
{
    bool done = false;
    bool success = false;
    int status = -1;
    bool noResponse = false;
};

Outcome retrieve()
{
    Outcome outcome;
    SessionData::retrieveToken([&](bool success, int status, bool noResponse) {
        outcome = {true, success, status, noResponse};
    });
    (void)QTest::qWaitFor([&] { return outcome.done; }, 15000);
    return outcome;
}

QString stored(const QString& key)
{
    return UserDefaults::standard().string(key).value_or(QStringLiteral("<absent>"));
}

} // namespace

TEST(RetrieveToken, StoresTokenAndEmailOnlyWhenBothArrive)
{
    ManagementServerPeer peer;
    ASSERT_TRUE(peer.isRunning());
    const QString path = QStringLiteral("/Velmora/api/v2/user/retrievetoken");
    struct Case
    {
        const char* name;
        int status;
        QByteArray body;
        bool success;
        QString token;
    };
    const std::vector<Case> cases = {
        {"token but empty e-mail", 200, R"({"authToken":"t1","userEmail":""})", false, QStringLiteral("<absent>")},
        {"empty object", 200, "{}", false, QStringLiteral("<absent>")},
        {"garbage body", 200, "<html>not json", false, QStringLiteral("<absent>")},
        {"server error", 500, R"({"authToken":"t2","userEmail":"a@b.c"})", false, QStringLiteral("<absent>")},
        {"both present", 200, R"({"authToken":"t3","userEmail":"a+b@c.d"})", true, QStringLiteral("t3")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManagementServerPeer::Answer answer;
        answer.status = c.status;
        answer.body = c.body;
        answer.contentType = QStringLiteral("application/json");
        peer.script(path, answer);
        const Outcome outcome = retrieve();
        ASSERT_TRUE(outcome.done);
        EXPECT_EQ(outcome.success, c.success);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_FALSE(outcome.noResponse);
        EXPECT_EQ(stored(SessionData::authTokenKey), c.token);
    }
    EXPECT_EQ(stored(SessionData::userEmailKey), QStringLiteral("a+b@c.d"));
    // The request carries the device parameters and no authorisation of its own.
    const auto requests = peer.requests(path);
    ASSERT_FALSE(requests.isEmpty());
    EXPECT_TRUE(requests.last().jsonBody().contains(QStringLiteral("identifier")));
    EXPECT_FALSE(requests.last().header(QStringLiteral("Authorization")).has_value());
}

TEST(RetrieveToken, NoServerMeansNoResponse)
{
    qputenv("NORVANE_SERVER_HOST", QStringLiteral("127.0.0.1:%1").arg(closedPort()).toUtf8());
    const Outcome outcome = retrieve();
    ASSERT_TRUE(outcome.done);
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_TRUE(outcome.noResponse);
}
