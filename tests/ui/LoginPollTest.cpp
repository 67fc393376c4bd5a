#include "LoginPageFixture.h"

#include "ui/MainView.h"
#include "ui/sidebar/SidebarView.h"

#include <QSignalSpy>
#include <QTimer>

namespace {

const QString retrieveToken = QStringLiteral("user/retrievetoken");
const QString activationEmail = QStringLiteral("user/activation/email");
constexpr std::chrono::milliseconds shortInterval{150};
constexpr int waitMs = 15000;

ManagementServerPeer::Answer json(const QByteArray& body, int status = 200)
{
    ManagementServerPeer::Answer answer;
    answer.status = status;
    answer.body = body;
    answer.contentType = QStringLiteral("application/json");
    return answer;
}

} // namespace

class LoginPollTest : public LoginPageFixture
{
protected:
    void SetUp() override
    {
        LoginPageFixture::SetUp();
        LoginView::setTimerInterval(shortInterval);
    }

    qsizetype polls() const { return peer.requests(retrieveToken).size(); }

    // Waits for `count` more ticks of the page's timer and checks that each of them sent
    // exactly one poll.
    void expectOnePollPerTick(QSignalSpy& ticks, int count)
    {
        const qsizetype pollsBefore = polls();
        const qsizetype ticksBefore = ticks.count();
        ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.count() >= ticksBefore + count; }, waitMs));
        const qsizetype ticked = ticks.count() - ticksBefore;
        ASSERT_TRUE(QTest::qWaitFor([&] { return polls() >= pollsBefore + ticked; }, waitMs));
        EXPECT_LE(polls() - pollsBefore, ticks.count() - ticksBefore);
    }

    void signInByEmail()
    {
        QTest::keyClicks(emailField(), QString::fromLatin1(ManagementServerPeer::demoEmail));
        act(Action::emailButton);
        // A tick may follow the answer at once, and sign in with it.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.isEmpty(); }, waitMs));
        ASSERT_EQ(messages, QStringList{QStringLiteral("Request sent. Check your e-mail.")});
        if (page) {
            ASSERT_TRUE(page->isTimerRunning());
        }
    }

    void expectSignedInWithoutActivation()
    {
        EXPECT_TRUE(session.isLoggedIn());
        // A poll sent on the tick before the sign-in still clears the flag when it answers.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !loading.isLoading(); }, waitMs));
        EXPECT_EQ(activationRequests, 0) << "a poll asks for no activation of its own";
        settle();
        EXPECT_TRUE(page.isNull()) << "the page, and with it the poll, is gone";
        auto* main = qobject_cast<MainView*>(view->page());
        ASSERT_NE(main, nullptr);
        EXPECT_TRUE(main->sidebar()->isVisible());
    }
};

TEST_F(LoginPollTest, PollsOnAppearanceThenOnEveryTickOnlyOnceAnEmailSignInIsPending)
{
    ASSERT_TRUE(peer.script(retrieveToken, json("{}")));
    ASSERT_NO_FATAL_FAILURE(open());
    EXPECT_EQ(polls(), 1) << "one poll as the page appears";
    EXPECT_EQ(loadingChanges, (QList<bool>{true, false}));
    ASSERT_TRUE(page->timer()->isActive());
    EXPECT_EQ(page->timer()->intervalAsDuration(), shortInterval);
    EXPECT_EQ(page->timer()->timerType(), Qt::PreciseTimer);

    // Nothing pending: the timer ticks, nothing is sent.
    QSignalSpy ticks(page->timer(), &QTimer::timeout);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.count() >= 3; }, waitMs));
    EXPECT_EQ(polls(), 1);
    EXPECT_EQ(loadingChanges.size(), 2);

    ASSERT_NO_FATAL_FAILURE(signInByEmail());
    ASSERT_NO_FATAL_FAILURE(expectOnePollPerTick(ticks, 3));
    EXPECT_FALSE(session.isLoggedIn()) << "replies without a token sign nobody in";

    // A reply with a token but no e-mail signs nobody in either; the poll goes on.
    ASSERT_TRUE(peer.script(retrieveToken, json(R"({"authToken":"tok-half","userEmail":""})"), true));
    const qsizetype before = polls();
    ASSERT_TRUE(QTest::qWaitFor([&] { return polls() >= before + 2; }, waitMs));
    EXPECT_FALSE(session.isLoggedIn());
    EXPECT_EQ(stored(SessionData::authTokenKey), QStringLiteral("<absent>"));

    // The first poll that gets both signs in.
    ASSERT_TRUE(peer.script(retrieveToken, json(R"({"authToken":"tok-poll","userEmail":"poll@norvane.org"})"), true));
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.isLoggedIn(); }, waitMs));
    EXPECT_EQ(stored(SessionData::authTokenKey), QStringLiteral("tok-poll"));
    EXPECT_EQ(stored(SessionData::userEmailKey), QStringLiteral("poll@norvane.org"));
    ASSERT_NO_FATAL_FAILURE(expectSignedInWithoutActivation());
}

TEST_F(LoginPollTest, AFailedActivationEmailLeavesThePollRunning)
{
    ASSERT_TRUE(peer.script(retrieveToken, json("{}")));
    ASSERT_NO_FATAL_FAILURE(open());
    ASSERT_NO_FATAL_FAILURE(signInByEmail());
    QSignalSpy ticks(page->timer(), &QTimer::timeout);

    ManagementServerPeer::Answer refused;
    refused.status = 500;
    refused.body = "Mail server unavailable";
    ASSERT_TRUE(peer.script(activationEmail, refused, true));
    act(Action::emailButton);
    // A tick may poll meanwhile; whichever answer comes first clears the flag.
    ASSERT_TRUE(QTest::qWaitFor([&] { return messages.size() == 2; }, waitMs));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(page->errorText(), QStringLiteral("Mail server unavailable"));
    EXPECT_TRUE(page->isTimerRunning());
    ASSERT_NO_FATAL_FAILURE(expectOnePollPerTick(ticks, 2));
}

TEST_F(LoginPollTest, TheServersConfirmationSignsInOnTheNextTick)
{
    // The peer's own flow: the activation e-mail, then the retrieve-token answer for this
    // device.
    ASSERT_NO_FATAL_FAILURE(open());
    ASSERT_NO_FATAL_FAILURE(signInByEmail());
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.isLoggedIn(); }, waitMs));
    EXPECT_EQ(stored(SessionData::authTokenKey), QString::fromLatin1(ManagementServerPeer::demoToken));
    EXPECT_EQ(stored(SessionData::userEmailKey), QString::fromLatin1(ManagementServerPeer::demoEmail));
    ASSERT_NO_FATAL_FAILURE(expectSignedInWithoutActivation());
    EXPECT_GE(polls(), 2);
    // A tick just before the page went may have sent one more poll: let it answer first.
    ASSERT_TRUE(waitIdle());
    const qsizetype pollsSignedIn = polls();

    // Signing out shows a new page in its first state, which polls once as it appears.
    session.setIsLoggedIn(false);
    settle();
    page = qobject_cast<LoginView*>(view->page());
    ASSERT_NE(page, nullptr);
    EXPECT_FALSE(page->isTimerRunning());
    EXPECT_EQ(page->email(), QString());
    EXPECT_EQ(page->errorText(), QString());
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(polls(), pollsSignedIn + 1);
}
