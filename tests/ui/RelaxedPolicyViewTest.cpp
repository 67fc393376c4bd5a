#include "PolicyPageFixture.h"
#include "UrlCatcher.h"

#include "control/RelaxedPolicyMessage.h"
#include "ui/pages/PasscodePopup.h"
#include "ui/pages/RelaxedPolicyView.h"

#include <QLabel>
#include <QMenu>

#include <limits>
#include <thread>

namespace {

class RelaxedPolicyTest : public PolicyPageFixture
{
protected:
    void SetUp() override
    {
        PolicyPageFixture::SetUp();
        RelaxedPolicyView::setApplicationDelegate([this] { return &delegate; });
        session()->setBypassesPermitted(2);
        session()->setBypassDuration(30);
        session()->setBypassEnabled(false);
        setPasscodeRequirement(std::nullopt);
    }

    void TearDown() override
    {
        PolicyPageFixture::TearDown();
        RelaxedPolicyView::setApplicationDelegate({});
    }

    static void setPasscodeRequirement(std::optional<qint64> value)
    {
        ServerConfiguaration config = ServerConfiguaration::makeDefault();
        config.EnableRelaxedPolicyPasscode = value;
        SessionData::shared()->setUserConfig(config);
    }

    RelaxedPolicyView* openPage()
    {
        page = open<RelaxedPolicyView>(MainViewTabs::relaxedPolicy);
        return page;
    }

    QPushButton* button(const char* name) const { return page->findChild<QPushButton*>(QString::fromLatin1(name)); }
    QString text(const char* name) const { return page->findChild<QLabel*>(QString::fromLatin1(name))->text(); }

    PasscodePopup* waitForPopup()
    {
        if (!QTest::qWaitFor([&] { return page->passwordPopup() && page->passwordPopup()->isVisible(); }, 5000))
            return nullptr;
        return page->passwordPopup();
    }

    // The alert's message once it is up; "" when none comes.
    QString alertMessage()
    {
        QMessageBox* alert = waitForAlert(page);
        return alert ? alert->informativeText() : QString();
    }

    void dismissAlert() { clickAlertButton(page->alert(), "okButton"); }

    QPointer<RelaxedPolicyView> page;
};

} // namespace

TEST_F(RelaxedPolicyTest, RefusedUsesShowTheirTextAndSendNothing)
{
    struct Case
    {
        const char* name;
        bool enabled;
        qint64 permitted;
        std::optional<qint64> passcode;
        QString message;
    };
    const QString inEffect = QStringLiteral("Relaxed policy already in effect");
    const QString usedUp = QStringLiteral("All your relaxed policies are used up for today");
    for (const Case& c : {Case{"already on, uses left", true, 3, std::nullopt, inEffect},
                          Case{"already on, none left, passcode asked", true, 0, 1, inEffect},
                          Case{"none left", false, 0, std::nullopt, usedUp},
                          Case{"fewer than none, passcode asked", false, -1, 1, usedUp}}) {
        SCOPED_TRACE(c.name);
        session()->setBypassEnabled(c.enabled);
        session()->setBypassesPermitted(c.permitted);
        setPasscodeRequirement(c.passcode);
        ASSERT_NE(openPage(), nullptr);
        click(button("useButton"));
        EXPECT_EQ(alertMessage(), c.message);
        EXPECT_EQ(page->alert()->text(), QStringLiteral("Relaxed policy"));
        EXPECT_TRUE(page->showRelaxedPolicyAlert());
        EXPECT_EQ(page->relaxedPolicyAlertMessage(), c.message);
        EXPECT_EQ(page->passwordPopup(), nullptr);
        dismissAlert();
        EXPECT_FALSE(page->showRelaxedPolicyAlert());
    }
    EXPECT_EQ(receivedSoFar(IpcMessageId::relaxedPolicy).size(), 0);
}

TEST_F(RelaxedPolicyTest, WithoutThePasscodeRequirementTheRequestGoesOutEmptyAndTheAnswerIsShown)
{
    struct Reply
    {
        bool allow;
        QString text;
        QString shown;
    };
    const std::vector<Reply> replies = {
        {true, QString(), QStringLiteral("Relaxed policy granted")},
        {true, QStringLiteral("Enjoy"), QStringLiteral("Relaxed policy granted")},
        {false, QString(), QStringLiteral("Relaxed policy not granted")},
        {false, QStringLiteral("Not during school hours"), QStringLiteral("Not during school hours")},
    };
    int sent = 0;
    for (const std::optional<qint64> requirement : {std::optional<qint64>(), std::optional<qint64>(0),
                                                    std::optional<qint64>(2)}) {
        setPasscodeRequirement(requirement);
        ASSERT_NE(openPage(), nullptr);
        for (const Reply& reply : replies) {
            SCOPED_TRACE(reply.shown.toStdString());
            ASSERT_TRUE(extension.setRelaxedPolicy(reply.allow, reply.text));
            click(button("useButton"));
            EXPECT_EQ(page->passwordPopup(), nullptr);
            EXPECT_EQ(alertMessage(), reply.shown);
            dismissAlert();
            ++sent;
        }
    }
    const QJsonArray requests = receivedSoFar(IpcMessageId::relaxedPolicy);
    ASSERT_EQ(requests.size(), sent);
    for (const QJsonValue& request : requests)
        EXPECT_EQ(payload(request), (QJsonObject{{QStringLiteral("messageOrPasscode"), QString()},
                                                 {QStringLiteral("enable"), QStringLiteral("1")},
                                                 {QStringLiteral("allowed"), QStringLiteral("0")}}));
}

TEST_F(RelaxedPolicyTest, ThePasscodeSheetSendsWhatWasTypedReopensWhenEmptyAndCancelSendsNothing)
{
    setPasscodeRequirement(1);
    ASSERT_TRUE(extension.setRelaxedPolicy(true, QString(), QStringLiteral("2468")));
    ASSERT_NE(openPage(), nullptr);

    // OK with an empty field: the sheet comes back, nothing is sent.
    click(button("useButton"));
    PasscodePopup* popup = waitForPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(popup->isModal());
    EXPECT_EQ(popup->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(popup->field()->text().isEmpty());
    EXPECT_EQ(popup->field()->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(page->showPasswordPopup());
    click(popup->okButton());
    PasscodePopup* again = waitForPopup();
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, popup);
    EXPECT_TRUE(page->showPasswordPopup());

    // Return in the field does nothing; Cancel closes and sends nothing.
    type(again->field(), QStringLiteral("13"));
    QTest::keyClick(again->field(), Qt::Key_Return);
    settle();
    EXPECT_TRUE(again->isVisible());
    click(again->cancelButton());
    settle();
    EXPECT_EQ(page->passwordPopup(), nullptr);
    EXPECT_FALSE(page->showPasswordPopup());
    EXPECT_TRUE(page->passswordCancelled());
    EXPECT_EQ(receivedSoFar(IpcMessageId::relaxedPolicy).size(), 0);

    // Escape only closes the sheet.
    click(button("useButton"));
    PasscodePopup* escaped = waitForPopup();
    ASSERT_NE(escaped, nullptr);
    EXPECT_TRUE(escaped->field()->text().isEmpty()) << "each opening starts empty";
    type(escaped->field(), QStringLiteral("2468"));
    QTest::keyClick(escaped, Qt::Key_Escape);
    settle();
    EXPECT_EQ(page->passwordPopup(), nullptr);
    EXPECT_FALSE(page->showPasswordPopup());
    EXPECT_EQ(receivedSoFar(IpcMessageId::relaxedPolicy).size(), 0);

    // A wrong passcode goes out and is refused by the extension with its own text.
    click(button("useButton"));
    PasscodePopup* wrong = waitForPopup();
    ASSERT_NE(wrong, nullptr);
    type(wrong->field(), QStringLiteral("1357"));
    click(wrong->okButton());
    EXPECT_EQ(alertMessage(), QStringLiteral("Incorrect passcode"));
    dismissAlert();

    click(button("useButton"));
    PasscodePopup* right = waitForPopup();
    ASSERT_NE(right, nullptr);
    type(right->field(), QStringLiteral("2468"));
    click(right->okButton());
    EXPECT_EQ(alertMessage(), QStringLiteral("Relaxed policy granted"));

    const QJsonArray requests = receivedSoFar(IpcMessageId::relaxedPolicy);
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(payload(requests.at(0)).value(QStringLiteral("messageOrPasscode")).toString(), QStringLiteral("1357"));
    EXPECT_EQ(payload(requests.at(1)), (QJsonObject{{QStringLiteral("messageOrPasscode"), QStringLiteral("2468")},
                                                    {QStringLiteral("enable"), QStringLiteral("1")},
                                                    {QStringLiteral("allowed"), QStringLiteral("0")}}));
}

TEST_F(RelaxedPolicyTest, RelinquishSendsOnlyWhileThePolicyIsOn)
{
    ASSERT_NE(openPage(), nullptr);
    click(button("relinquishButton"));
    EXPECT_EQ(alertMessage(), QStringLiteral("Relaxed policy not currently active"));
    dismissAlert();
    EXPECT_EQ(receivedSoFar(IpcMessageId::relaxedPolicy).size(), 0);

    session()->setBypassEnabled(true);
    click(button("relinquishButton"));
    // The stand-in answers the end of the policy with a text of its own.
    EXPECT_EQ(alertMessage(), QStringLiteral("Relaxed policy ended"));
    const QJsonArray requests = receivedSoFar(IpcMessageId::relaxedPolicy);
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(payload(requests.first()), (QJsonObject{{QStringLiteral("messageOrPasscode"), QString()},
                                                      {QStringLiteral("enable"), QStringLiteral("0")},
                                                      {QStringLiteral("allowed"), QStringLiteral("0")}}));
}

TEST_F(RelaxedPolicyTest, CountersFollowTheSession)
{
    ASSERT_NE(openPage(), nullptr);
    struct Case
    {
        qint64 duration;
        const char* shown;
    };
    for (const Case& c : {Case{75, "01:15"}, Case{600, "10:00"}, Case{90, "01:30"}, Case{1440, "24:00"},
                          Case{0, "00:00"}, Case{59, "00:59"}, Case{6000, "100:00"},
                          Case{std::numeric_limits<qint64>::max(), "Not set"}, Case{-5, "Not set"}}) {
        session()->setBypassDuration(c.duration);
        EXPECT_EQ(text("timePermittedValue"), QString::fromLatin1(c.shown)) << c.duration;
    }
    for (const qint64 uses : {3, 0, -1}) {
        session()->setBypassesPermitted(uses);
        EXPECT_EQ(text("usesAvailableValue"), QString::number(uses));
    }
    auto* enabledLine = page->findChild<QLabel*>(QStringLiteral("enabledText"));
    EXPECT_FALSE(enabledLine->isVisible());
    session()->setBypassEnabled(true);
    EXPECT_TRUE(enabledLine->isVisible());
    EXPECT_EQ(enabledLine->text(), QStringLiteral("You may now access sites that are in the relaxed policy."));

    UrlCatcher browser;
    click(button("editLink"));
    ASSERT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(browser.opened.first(), QUrl(server->url(QStringLiteral("/Velmora/user?tab=relaxed-policy"))));
}

TEST_F(RelaxedPolicyTest, TheStatusMenuItemUsesThePolicyExactlyOnce)
{
    ASSERT_TRUE(extension.setRelaxedPolicy(true));
    QAction* item = nullptr;
    for (QAction* action : delegate.statusMenu()->actions())
        if (action->text() == QStringLiteral("Use Relaxed Policy"))
            item = action;
    ASSERT_NE(item, nullptr);
    view = std::make_unique<ContentView>(session(), &loading);
    view->resize(1000, 700);
    view->show();
    settle();

    item->trigger();
    settle();
    page = qobject_cast<RelaxedPolicyView*>(view->findChild<MainView*>()->detail());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(alertMessage(), QStringLiteral("Relaxed policy granted"));
    EXPECT_FALSE(delegate.autoenableRelaxedPolicy());
    dismissAlert();

    // A later visit, and the window shown again, do not use it again.
    showOtherPage();
    session()->setSelectedMainPage(MainViewTabs::relaxedPolicy);
    settle();
    view->hide();
    view->show();
    settle();
    EXPECT_EQ(receivedSoFar(IpcMessageId::relaxedPolicy).size(), 1);
}

TEST_F(RelaxedPolicyTest, TheReplyHandlerLivesOnlyWhileThePageIsShown)
{
    ASSERT_NE(openPage(), nullptr);
    EXPECT_TRUE(page->isReplyHandlerRegistered());
    const IpcDictionary granted{{QStringLiteral("messageOrPasscode"), QString()},
                                {QStringLiteral("enable"), QStringLiteral("1")},
                                {QStringLiteral("allowed"), QStringLiteral("1")}};
    // A reply delivered while the page is shown reaches it.
    IpcConnection::shared().receiveMessage(qint16(IpcMessageId::relaxedPolicy), granted, {});
    EXPECT_EQ(alertMessage(), QStringLiteral("Relaxed policy granted"));
    dismissAlert();

    view->hide();
    EXPECT_FALSE(page->isReplyHandlerRegistered());
    IpcConnection::shared().receiveMessage(qint16(IpcMessageId::relaxedPolicy), granted, {});
    settle();
    EXPECT_EQ(page->alert(), nullptr);
    view->show();
    settle();
    EXPECT_TRUE(page->isReplyHandlerRegistered());

    // Gone with the page: the extension's answer to a request sent now is dropped.
    showOtherPage();
    EXPECT_TRUE(page.isNull());
    RelaxedPolicyMessage request;
    request.enable = true;
    IpcConnection::shared().sendMessage(request);
    ASSERT_TRUE(extension.waitForReceived(1, int(IpcMessageId::relaxedPolicy)).has_value());
    IpcConnection::shared().receiveMessage(qint16(IpcMessageId::relaxedPolicy), granted, {});
    QTest::qWait(0);
    settle();
    EXPECT_TRUE(view->findChildren<QMessageBox*>().isEmpty());

    // A page shown later takes the handler over, and the page before it going away
    // later does not take it from the new one.
    auto* first = new RelaxedPolicyView(session());
    first->show();
    ASSERT_NE(openPage(), nullptr);
    EXPECT_TRUE(page->isReplyHandlerRegistered());
    EXPECT_FALSE(first->isReplyHandlerRegistered());
    delete first;
    IpcConnection::shared().receiveMessage(qint16(IpcMessageId::relaxedPolicy), granted, {});
    EXPECT_EQ(alertMessage(), QStringLiteral("Relaxed policy granted"));
}

TEST_F(RelaxedPolicyTest, PagesDestroyedWhileRepliesArriveStayClean)
{
    // Replies come in on another thread, as the link delivers them, while pages come and go.
    std::atomic<bool> stop{false};
    std::atomic<int> delivered{0};
    std::thread deliveries([&] {
        const IpcDictionary refused{{QStringLiteral("messageOrPasscode"), QStringLiteral("no")},
                                    {QStringLiteral("enable"), QStringLiteral("1")},
                                    {QStringLiteral("allowed"), QStringLiteral("0")}};
        while (!stop) {
            IpcConnection::shared().receiveMessage(qint16(IpcMessageId::relaxedPolicy), refused, {});
            ++delivered;
            std::this_thread::yield();
        }
    });
    ASSERT_TRUE(extension.setRelaxedPolicy(true));
    for (int round = 0; round < 40; ++round) {
        auto* transient = new RelaxedPolicyView(session());
        transient->show();
        // A real request, its answer on the way while the page goes.
        transient->useRelaxedPolicy(false);
        if (round % 2)
            QApplication::processEvents();
        delete transient;
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return delivered > 200; }, 5000));
    stop = true;
    deliveries.join();
    settle();
    EXPECT_GE(extension.waitForReceived(40, int(IpcMessageId::relaxedPolicy)).value_or(QJsonArray()).size(), 40);
    settle();
    for (QWidget* window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible() && qobject_cast<QMessageBox*>(window)) << "an alert outlived its page";
}

TEST_F(RelaxedPolicyTest, EveryControlHasAnAccessibleName)
{
    setPasscodeRequirement(1);
    ASSERT_NE(openPage(), nullptr);
    for (QPushButton* b : page->findChildren<QPushButton*>())
        EXPECT_FALSE(b->text().isEmpty()) << b->objectName().toStdString();
    click(button("useButton"));
    PasscodePopup* popup = waitForPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->field()->accessibleName(), QStringLiteral("Passcode"));
    EXPECT_EQ(popup->okButton()->text(), QStringLiteral("Ok"));
    EXPECT_EQ(popup->cancelButton()->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(popup->findChild<QLabel*>(QStringLiteral("explanation"))->font().pixelSize(), 15);
}
