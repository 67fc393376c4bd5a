#include "LoginPageFixture.h"

#include "core/ApiClient.h"
#include "ui/MainView.h"
#include "ui/sidebar/SidebarView.h"

#include <optional>

namespace {

const QString getToken = QStringLiteral("user/gettoken");
const QString activationEmail = QStringLiteral("user/activation/email");

struct MessageCase
{
    const char* name;
    QString email;
    QString password;
    LoginAction action;
    std::optional<ManagementServerPeer::Answer> answer; // scripted for the request's path
    QString message;
    const QString* requestPath; // where the one request goes; nullptr: nothing may be sent
};

ManagementServerPeer::Answer answer(int status, const QByteArray& body,
                                    const QString& contentType = QStringLiteral("text/plain"))
{
    ManagementServerPeer::Answer scripted;
    scripted.status = status;
    scripted.body = body;
    scripted.contentType = contentType;
    return scripted;
}

} // namespace

class LoginViewTest : public LoginPageFixture
{
};

TEST_F(LoginViewTest, EachCaseShowsItsMessageAndClearsTheBusyFlag)
{
    const QString demo = QString::fromLatin1(ManagementServerPeer::demoEmail);
    const QString passwordFailure = QStringLiteral("Authorization failed. Check your login and password.");
    const QString emailFailure = QStringLiteral("Authorization failed. Check your email.");
    using A = Action;
    const std::vector<MessageCase> cases = {
        {"no dot after the at sign", QStringLiteral("user@example"), QStringLiteral("pw"), A::passwordButton,
         std::nullopt, QStringLiteral("Invalid email"), nullptr},
        {"one-letter last part, e-mail sign-in", QStringLiteral("user@example.c"), QString(), A::emailButton,
         std::nullopt, QStringLiteral("Invalid email"), nullptr},
        {"a space, Return in the password", QStringLiteral("us er@example.com"), QStringLiteral("pw"),
         A::returnInPassword, std::nullopt, QStringLiteral("Invalid email"), nullptr},
        {"empty password", demo, QString(), A::passwordButton, std::nullopt, QStringLiteral("Enter password"),
         nullptr},
        {"empty password, Return", demo, QString(), A::returnInPassword, std::nullopt,
         QStringLiteral("Enter password"), nullptr},
        {"401 with a body", demo, QStringLiteral("wrong"), A::passwordButton,
         answer(401, "Invalid e-mail or password"), QStringLiteral("Invalid e-mail or password"), &getToken},
        {"the peer's own refusal", demo, QStringLiteral("wrong"), A::returnInPassword, std::nullopt,
         QStringLiteral("Invalid email or password"), &getToken},
        {"markup body shown as text", demo, QStringLiteral("pw"), A::passwordButton,
         answer(403, "<b>Locked</b> <img src=\"x\">", QStringLiteral("text/html")),
         QStringLiteral("<b>Locked</b> <img src=\"x\">"), &getToken},
        {"401 without a body", demo, QStringLiteral("pw"), A::passwordButton, answer(401, ""), passwordFailure,
         &getToken},
        {"success without a token", demo, QStringLiteral("pw"), A::passwordButton, answer(204, ""),
         passwordFailure, &getToken},
        {"body that is not UTF-8", demo, QStringLiteral("pw"), A::passwordButton,
         answer(500, "\xff\xfe\xfd broken", QString()), passwordFailure, &getToken},
        {"e-mail sign-in ignores the password", demo, QString(), A::emailButton, std::nullopt,
         QStringLiteral("Request sent. Check your e-mail."), &activationEmail},
        {"activation refused with a body", demo, QString(), A::emailButton,
         answer(400, R"({"error":"Unknown account"})", QStringLiteral("application/json")),
         QStringLiteral(R"({"error":"Unknown account"})"), &activationEmail},
        {"activation failed without a body", demo, QStringLiteral("pw"), A::emailButton, answer(503, ""),
         emailFailure, &activationEmail},
    };

    for (const MessageCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(peer.reset());
        if (c.answer) {
            ASSERT_TRUE(peer.script(*c.requestPath, *c.answer));
        }
        ASSERT_NO_FATAL_FAILURE(open());
        fill(c.email, c.password);
        EXPECT_EQ(page->email(), c.email);
        EXPECT_EQ(page->password(), c.password);
        const qsizetype changesBefore = loadingChanges.size();
        act(c.action);

        if (!c.requestPath) {
            // Refused before anything is sent: the message is there at once and the busy
            // flag never moved.
            EXPECT_EQ(loadingChanges.size(), changesBefore);
        } else {
            EXPECT_TRUE(loading.isLoading()) << "set when the request is sent";
            ASSERT_TRUE(waitIdle());
            EXPECT_EQ(loadingChanges.size(), changesBefore + 2);
            EXPECT_EQ(peer.requests(*c.requestPath).size(), 1);
        }
        EXPECT_EQ(page->errorText(), c.message);
        EXPECT_EQ(errorLabel()->text(), page->errorText());
        EXPECT_FALSE(loading.isLoading());
        EXPECT_FALSE(session.isLoggedIn());
        EXPECT_EQ(stored(SessionData::authTokenKey), QStringLiteral("<absent>"));
        EXPECT_EQ(peer.requests(getToken).size(), c.requestPath == &getToken ? 1 : 0);
        EXPECT_EQ(peer.requests(activationEmail).size(), c.requestPath == &activationEmail ? 1 : 0);
        EXPECT_EQ(page->isTimerRunning(), c.message == QStringLiteral("Request sent. Check your e-mail."));
    }
    EXPECT_EQ(activationRequests, 0);
}

TEST_F(LoginViewTest, PasswordSignInStoresTheReplyUnchangedAndShowsTheSidebarLayout)
{
    struct Case
    {
        const char* name;
        std::optional<ManagementServerPeer::Answer> answer;
        QString password;
        Action action;
        QString token;
    };
    const std::vector<Case> cases = {
        {"the demo account, Return in the password", std::nullopt,
         QString::fromLatin1(ManagementServerPeer::demoPassword), Action::returnInPassword,
         QString::fromLatin1(ManagementServerPeer::demoToken)},
        // Neither trimmed nor read as JSON; the charset the reply names is honoured.
        {"a body kept as it came", answer(200, "  {\"token\": \"t\u00e9\"}\n", QStringLiteral("text/plain; charset=utf-8")),
         QStringLiteral("p\u00e4ss:w\u00f6rd"), Action::passwordButton, QStringLiteral("  {\"token\": \"t\u00e9\"}\n")},
        {"no charset named: ISO Latin 1", answer(200, "tok\xe9n"), QStringLiteral("pw"), Action::passwordButton,
         QStringLiteral("tok\u00e9n")},
    };
    const QString email = QString::fromLatin1(ManagementServerPeer::demoEmail);
    int signIns = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(peer.reset());
        if (c.answer) {
            ASSERT_TRUE(peer.script(getToken, *c.answer));
        }
        ASSERT_NO_FATAL_FAILURE(open());
        fill(email, c.password);
        act(c.action);
        ASSERT_TRUE(QTest::qWaitFor([&] { return session.isLoggedIn(); }, 15000));
        ++signIns;
        EXPECT_FALSE(loading.isLoading());
        EXPECT_EQ(loadingChanges.last(), false);
        EXPECT_EQ(stored(SessionData::authTokenKey), c.token);
        EXPECT_EQ(stored(SessionData::userEmailKey), email);
        EXPECT_EQ(activationRequests, signIns) << "activation asked for after the sign-in";

        // The request: Basic credentials of the typed e-mail and password, the e-mail
        // beside the device parameters, and none of the signed-in requests' headers.
        const auto requests = peer.requests(getToken);
        ASSERT_EQ(requests.size(), 1);
        EXPECT_EQ(requests[0].method, QStringLiteral("POST"));
        EXPECT_EQ(requests[0].header(QStringLiteral("Authorization")),
                  QStringLiteral("Basic ") + QString::fromLatin1((email + QLatin1Char(':') + c.password).toUtf8().toBase64()));
        EXPECT_NE(requests[0].header(QStringLiteral("Accept")), QString::fromLatin1(ApiClient::acceptHeader));
        QJsonObject expectedBody{{QStringLiteral("email"), email}};
        for (auto it = ApiClient::deviceParameters().cbegin(); it != ApiClient::deviceParameters().cend(); ++it)
            expectedBody.insert(it.key(), it.value());
        EXPECT_EQ(requests[0].jsonBody(), expectedBody);

        // The window swaps the sign-in page for the sidebar layout.
        settle();
        EXPECT_TRUE(page.isNull());
        auto* main = qobject_cast<MainView*>(view->page());
        ASSERT_NE(main, nullptr);
        EXPECT_TRUE(main->isVisible());
        ASSERT_NE(main->sidebar(), nullptr);
        EXPECT_TRUE(main->sidebar()->isVisible());
    }
}

TEST_F(LoginViewTest, TheTokenIsStoredWithTheAddressItWasAskedFor)
{
    ManagementServerPeer::Answer slow = answer(200, "tok-slow");
    slow.delayMs = 500;
    ASSERT_TRUE(peer.script(getToken, slow));
    ASSERT_NO_FATAL_FAILURE(open());
    fill(QStringLiteral("first@example.com"), QStringLiteral("pw"));
    act(Action::passwordButton);
    ASSERT_TRUE(loading.isLoading());
    // The field keeps the keyboard while the overlay is up.
    QTest::keyClicks(emailField(), QStringLiteral(".uk"));
    EXPECT_EQ(page->email(), QStringLiteral("first@example.com.uk"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.isLoggedIn(); }, 15000));
    EXPECT_EQ(stored(SessionData::authTokenKey), QStringLiteral("tok-slow"));
    EXPECT_EQ(stored(SessionData::userEmailKey), QStringLiteral("first@example.com"));
}

TEST_F(LoginViewTest, AReplyAfterThePageHasGoneStillClearsTheBusyFlag)
{
    for (const QString& path : {getToken, activationEmail}) {
        SCOPED_TRACE(path.toStdString());
        ManagementServerPeer::Answer slow = answer(401, "late");
        slow.delayMs = 400;
        ASSERT_TRUE(peer.reset());
        ASSERT_TRUE(peer.script(path, slow));
        ASSERT_NO_FATAL_FAILURE(open());
        fill(QString::fromLatin1(ManagementServerPeer::demoEmail), QStringLiteral("pw"));
        act(path == getToken ? Action::passwordButton : Action::emailButton);
        ASSERT_TRUE(loading.isLoading());
        // Signed in some other way meanwhile: the page goes, its request is still out.
        session.setIsLoggedIn(true);
        settle();
        ASSERT_TRUE(page.isNull());
        ASSERT_TRUE(waitIdle());
        EXPECT_EQ(peer.requests(path).size(), 1);
        EXPECT_TRUE(session.isLoggedIn());
        EXPECT_NE(qobject_cast<MainView*>(view->page()), nullptr);
    }
}

TEST_F(LoginViewTest, ReturnInTheEmailFieldDoesNothing)
{
    ASSERT_NO_FATAL_FAILURE(open());
    fill(QString::fromLatin1(ManagementServerPeer::demoEmail), QString::fromLatin1(ManagementServerPeer::demoPassword));
    const qsizetype changesBefore = loadingChanges.size();
    act(Action::returnInEmail);
    EXPECT_EQ(loadingChanges.size(), changesBefore) << "nothing was sent";
    EXPECT_EQ(page->errorText(), QString());
    EXPECT_FALSE(session.isLoggedIn());
    // The same form sends at once from the password field.
    act(Action::returnInPassword);
    EXPECT_TRUE(loading.isLoading());
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.isLoggedIn(); }, 15000));
    EXPECT_EQ(peer.requests(getToken).size(), 1);
}

TEST_F(LoginViewTest, AHugeReplyBodyIsKeptWholeAndShownInFourLines)
{
    QByteArray body = "Too many attempts. ";
    body += QByteArray(2 * 1024 * 1024, 'x');
    ASSERT_TRUE(peer.script(getToken, answer(429, body)));
    ASSERT_NO_FATAL_FAILURE(open());
    fill(QString::fromLatin1(ManagementServerPeer::demoEmail), QStringLiteral("pw"));
    act(Action::passwordButton);
    ASSERT_TRUE(waitIdle(30000));
    EXPECT_EQ(page->errorText(), QString::fromLatin1(body));
    settle();
    const QStringList lines = errorLabel()->displayedLines();
    ASSERT_EQ(lines.size(), LoginView::errorTextLineLimit);
    EXPECT_EQ(lines[0].trimmed(), QStringLiteral("Too many attempts."));
    EXPECT_TRUE(lines.last().endsWith(QChar(0x2026)));
    EXPECT_EQ(errorLabel()->height(), LoginView::errorTextLineLimit * errorLabel()->fontMetrics().lineSpacing());
}

// Without any reply (nothing listens on the server's port) both sign-ins show their fixed
// text, and the busy flag is clear again.
TEST(LoginViewWithoutServer, FailuresWithoutAReplyShowTheFixedTexts)
{
    qputenv("NORVANE_SERVER_HOST", QStringLiteral("127.0.0.1:%1").arg(LoginPageFixture::closedPortForTests()).toUtf8());
    Fonts::install();
    SessionObservableObject session;
    LoadingModel loading;
    ContentView view(&session, &loading);
    view.resize(1000, 700);
    view.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !loading.isLoading(); }, 15000)) << "the first poll gets no answer";
    auto* page = qobject_cast<LoginView*>(view.page());
    ASSERT_NE(page, nullptr);
    QTest::keyClicks(page->findChild<QLineEdit*>(QStringLiteral("emailField")), QStringLiteral("demo@norvane.org"));
    QTest::keyClicks(page->findChild<QLineEdit*>(QStringLiteral("passwordField")), QStringLiteral("pw"));

    struct Case
    {
        const char* button;
        QString message;
    };
    for (const Case& c : {Case{"loginWithPasswordButton", QStringLiteral("Authorization failed. Check your login and password.")},
                          Case{"loginWithEmailButton", QStringLiteral("Authorization failed. Check your email.")}}) {
        SCOPED_TRACE(c.button);
        QTest::mouseClick(page->findChild<QPushButton*>(QString::fromLatin1(c.button)), Qt::LeftButton);
        EXPECT_TRUE(loading.isLoading());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !loading.isLoading(); }, 15000));
        EXPECT_EQ(page->errorText(), c.message);
        EXPECT_FALSE(page->isTimerRunning());
        EXPECT_FALSE(session.isLoggedIn());
    }
    EXPECT_FALSE(UserDefaults::standard().string(SessionData::authTokenKey).has_value());
}
