#include "PolicyPageFixture.h"
#include "UrlCatcher.h"

#include "core/ApiClient.h"
#include "ui/pages/MyBlockedSitesView.h"

#include <QLabel>
#include <QSet>

namespace {

const QString selfModerationAdd = QStringLiteral("me/self_moderation/add");

ManagementServerPeer::Answer answer(int status, const QByteArray& body,
                                    const QString& contentType = QStringLiteral("application/json"))
{
    ManagementServerPeer::Answer scripted;
    scripted.status = status;
    scripted.body = body;
    scripted.contentType = contentType;
    return scripted;
}

class MyBlockedSitesTest : public PolicyPageFixture
{
protected:
    explicit MyBlockedSitesTest(bool withServer = true) : PolicyPageFixture(withServer) {}

    void SetUp() override
    {
        PolicyPageFixture::SetUp();
        session()->setMyBlockedSites({QStringLiteral("reddit.com"), QStringLiteral("tiktok.com")});
        page = open<MyBlockedSitesView>(MainViewTabs::myBlockedSites);
        ASSERT_NE(page, nullptr);
    }

    QLineEdit* field() const { return page->findChild<QLineEdit*>(QStringLiteral("siteField")); }
    QPushButton* addButton() const { return page->findChild<QPushButton*>(QStringLiteral("addButton")); }

    QStringList rowsOnScreen() const
    {
        QStringList rows;
        auto* list = page->findChild<QWidget*>(QStringLiteral("siteList"));
        for (QLabel* row : list->findChildren<QLabel*>(QStringLiteral("siteRow")))
            rows.append(row->text());
        // findChildren follows creation order; the layout's order is what the user sees.
        std::sort(rows.begin(), rows.end(), [&](const QString& a, const QString& b) {
            return rowY(a) < rowY(b);
        });
        return rows;
    }

    int rowY(const QString& text) const
    {
        for (QLabel* row : page->findChildren<QLabel*>(QStringLiteral("siteRow")))
            if (row->text() == text)
                return row->y();
        return -1;
    }

    // Types the site, presses "add" and answers the confirmation with "Yes".
    void addConfirmed(const QString& site)
    {
        type(field(), site);
        click(addButton());
        QMessageBox* confirmation = waitForAlert(page);
        ASSERT_NE(confirmation, nullptr);
        ASSERT_EQ(confirmation->text(), QStringLiteral("Are you sure?"));
        clickAlertButton(confirmation, "yesButton");
        ASSERT_TRUE(QTest::qWaitFor([&] { return !page->alert(); }, 5000));
    }

    QPointer<MyBlockedSitesView> page;
};

class MyBlockedSitesWithoutServerTest : public MyBlockedSitesTest
{
protected:
    MyBlockedSitesWithoutServerTest() : MyBlockedSitesTest(false) {}
};

} // namespace

TEST_F(MyBlockedSitesTest, EachReplyAddsTheSiteOrShowsItsError)
{
    struct Case
    {
        const char* name;
        std::optional<ManagementServerPeer::Answer> answer; // nothing: the stand-in's own
        bool added;
        QString error; // the error alert's message; empty: no alert
    };
    const QString unknown = QStringLiteral("Unknown error adding site to blocklist");
    const std::vector<Case> cases = {
        {"the stand-in's own acceptance", std::nullopt, true, {}},
        {"200 with an empty object", answer(200, "{}"), true, {}},
        {"200 with an error text", answer(200, R"({"error":"x"})"), false, QStringLiteral("x")},
        {"200 with an empty error text", answer(200, R"({"error":""})"), true, {}},
        {"200 with a null error", answer(200, R"({"error":null})"), true, {}},
        {"200 with an empty body", answer(200, ""), true, {}},
        {"200 with plain text", answer(200, "Added", QStringLiteral("text/plain")), true, {}},
        {"201 with a JSON array", answer(201, "[1]"), true, {}},
        {"400 with an empty error text", answer(400, R"({"error":""})"), false, unknown},
        {"400 with an error text", answer(400, R"({"error":"Not a valid site"})"), false,
         QStringLiteral("Not a valid site")},
        {"422 with markup in the error", answer(422, R"({"error":"<b>no</b>"})"), false, QStringLiteral("<b>no</b>")},
        {"500 with an HTML page", answer(500, "<html><body>Oops</body></html>", QStringLiteral("text/html")), false,
         unknown},
        {"403 whose error is not a text", answer(403, R"({"error":5})"), false, unknown},
        {"404 without a body", answer(404, "", QString()), false, {}},
    };
    int site = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(server->reset());
        if (c.answer) {
            ASSERT_TRUE(server->script(selfModerationAdd, *c.answer));
        }
        const int syncsBefore = receivedSoFar(IpcMessageId::sync).size();
        const QStringList before = session()->myBlockedSites();
        const QString name = QStringLiteral("site%1.example").arg(++site);

        ASSERT_NO_FATAL_FAILURE(addConfirmed(name));
        ASSERT_TRUE(waitIdle());
        if (!c.error.isEmpty()) {
            QMessageBox* alert = waitForAlert(page);
            ASSERT_NE(alert, nullptr);
            EXPECT_EQ(alert->text(), QStringLiteral("Error occured"));
            EXPECT_EQ(alert->informativeText(), c.error);
            EXPECT_EQ(page->errorText(), c.error);
            EXPECT_TRUE(page->showAlert());
            clickAlertButton(alert, "okButton");
            EXPECT_FALSE(page->showAlert());
        } else {
            settle();
            EXPECT_EQ(page->alert(), nullptr);
            EXPECT_FALSE(page->showAlert());
        }
        EXPECT_FALSE(loading.isLoading());
        EXPECT_EQ(server->requests(selfModerationAdd).size(), 1);
        const QStringList expected = c.added ? before + QStringList{name} : before;
        EXPECT_EQ(session()->myBlockedSites(), expected);
        EXPECT_EQ(rowsOnScreen(), expected);
        EXPECT_EQ(receivedSoFar(IpcMessageId::sync).size(), syncsBefore + (c.added ? 1 : 0));
        EXPECT_EQ(field()->text(), c.added ? QString() : name);
        EXPECT_EQ(page->siteToAdd(), field()->text());
        field()->clear();
    }
}

TEST_F(MyBlockedSitesTest, TheRequestCarriesTheSiteAsTypedWithTheDeviceAndTheToken)
{
    const QString spaces = QStringLiteral("   ");
    type(field(), spaces);
    click(addButton());
    QMessageBox* confirmation = waitForAlert(page);
    ASSERT_NE(confirmation, nullptr);
    EXPECT_EQ(confirmation->informativeText(),
              QStringLiteral("This will add \"   \" to your list of blocked sites. Are you sure you want to continue?"));
    clickAlertButton(confirmation, "yesButton");
    ASSERT_TRUE(waitIdle());

    const QList<ManagementServerPeer::RecordedRequest> requests = server->requests(selfModerationAdd);
    ASSERT_EQ(requests.size(), 1);
    const ManagementServerPeer::RecordedRequest& request = requests.first();
    EXPECT_EQ(request.method, QStringLiteral("POST"));
    const QJsonObject body = request.jsonBody();
    const QStringList keys = body.keys();
    EXPECT_EQ(QSet<QString>(keys.cbegin(), keys.cend()),
              (QSet<QString>{QStringLiteral("url"), QStringLiteral("identifier"), QStringLiteral("device_id"),
                             QStringLiteral("os"), QStringLiteral("app_version"), QStringLiteral("os_version")}));
    EXPECT_EQ(body.value(QStringLiteral("url")).toString(), spaces);
    for (auto entry = ApiClient::deviceParameters().cbegin(); entry != ApiClient::deviceParameters().cend(); ++entry)
        EXPECT_EQ(body.value(entry.key()).toString(), entry.value()) << entry.key().toStdString();
    for (const QString& key : keys)
        EXPECT_TRUE(body.value(key).isString()) << key.toStdString();
    EXPECT_EQ(request.header(QStringLiteral("Authorization")),
              QStringLiteral("Bearer ") + QString::fromLatin1(ManagementServerPeer::demoToken));
    EXPECT_EQ(request.header(QStringLiteral("Accept")), QString::fromLatin1(ApiClient::acceptHeader));
    EXPECT_EQ(request.header(QStringLiteral("Content-Type")), QStringLiteral("application/json"));
    // The stand-in takes it: the spaces are the list's last entry.
    EXPECT_EQ(session()->myBlockedSites().last(), spaces);
}

TEST_F(MyBlockedSitesTest, AnEmptyFieldAndNoSendNothing)
{
    click(addButton());
    QMessageBox* error = waitForAlert(page);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->text(), QStringLiteral("Error occured"));
    EXPECT_EQ(error->informativeText(), QStringLiteral("Please specify url"));
    EXPECT_EQ(error->buttons().size(), 1);
    clickAlertButton(error, "okButton");

    type(field(), QStringLiteral("example.org"));
    click(addButton());
    QMessageBox* confirmation = waitForAlert(page);
    ASSERT_NE(confirmation, nullptr);
    EXPECT_EQ(confirmation->text(), QStringLiteral("Are you sure?"));
    EXPECT_EQ(confirmation->buttons().size(), 2);
    // Return answers "No".
    QTest::keyClick(confirmation, Qt::Key_Return);
    settle();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !page->alert(); }, 5000));
    EXPECT_FALSE(page->showAlert());
    EXPECT_FALSE(loading.isLoading());
    EXPECT_TRUE(server->requests(selfModerationAdd).isEmpty());
    EXPECT_EQ(field()->text(), QStringLiteral("example.org"));
    EXPECT_EQ(receivedSoFar(IpcMessageId::sync).size(), 0);
}

TEST_F(MyBlockedSitesTest, AddAfterAnErrorAsksForConfirmationAgain)
{
    ASSERT_TRUE(server->script(selfModerationAdd, answer(400, R"({"error":"Try later"})"), true));
    ASSERT_NO_FATAL_FAILURE(addConfirmed(QStringLiteral("news.example")));
    QMessageBox* error = waitForAlert(page);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->informativeText(), QStringLiteral("Try later"));
    clickAlertButton(error, "okButton");

    // The field still holds the site: "add" shows the confirmation, not the old error.
    click(addButton());
    QMessageBox* confirmation = waitForAlert(page);
    ASSERT_NE(confirmation, nullptr);
    EXPECT_EQ(confirmation->text(), QStringLiteral("Are you sure?"));
    EXPECT_TRUE(page->errorText().isEmpty());
    clickAlertButton(confirmation, "yesButton");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(session()->myBlockedSites().last(), QStringLiteral("news.example"));
    EXPECT_EQ(server->requests(selfModerationAdd).size(), 2);
}

TEST_F(MyBlockedSitesTest, ASiteAlreadyListedSendsNoSyncAndKeepsTheField)
{
    ASSERT_NO_FATAL_FAILURE(addConfirmed(QStringLiteral("tiktok.com")));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(server->requests(selfModerationAdd).size(), 1);
    EXPECT_EQ(session()->myBlockedSites(), (QStringList{QStringLiteral("reddit.com"), QStringLiteral("tiktok.com")}));
    EXPECT_EQ(field()->text(), QStringLiteral("tiktok.com"));
    EXPECT_EQ(receivedSoFar(IpcMessageId::sync).size(), 0);

    // Equality is exact: another case is another site.
    field()->clear();
    ASSERT_NO_FATAL_FAILURE(addConfirmed(QStringLiteral("TikTok.com")));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(session()->myBlockedSites().last(), QStringLiteral("TikTok.com"));
    EXPECT_EQ(receivedSoFar(IpcMessageId::sync).size(), 1);
}

TEST_F(MyBlockedSitesTest, TheListFollowsTheSessionAndTheLinkOpensTheServicePage)
{
    EXPECT_EQ(rowsOnScreen(), (QStringList{QStringLiteral("reddit.com"), QStringLiteral("tiktok.com")}));
    session()->setMyBlockedSites({QStringLiteral("<b>bold</b>"), QStringLiteral("a.example")});
    settle();
    EXPECT_EQ(rowsOnScreen(), (QStringList{QStringLiteral("<b>bold</b>"), QStringLiteral("a.example")}));
    for (QLabel* row : page->findChildren<QLabel*>(QStringLiteral("siteRow")))
        EXPECT_EQ(row->textFormat(), Qt::PlainText);

    UrlCatcher browser;
    click(page->findChild<QPushButton*>(QStringLiteral("advancedSettingsLink")));
    ASSERT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(browser.opened.first(), QUrl(server->url(QStringLiteral("/Velmora/user?tab=self-moderation"))));
}

TEST_F(MyBlockedSitesTest, EveryControlHasAnAccessibleName)
{
    EXPECT_FALSE(field()->accessibleName().isEmpty());
    for (QPushButton* button : page->findChildren<QPushButton*>())
        EXPECT_FALSE(button->text().isEmpty() && button->accessibleName().isEmpty())
            << button->objectName().toStdString();
    EXPECT_EQ(page->findChild<QPushButton*>(QStringLiteral("advancedSettingsLink"))->text(),
              QStringLiteral("Advanced Settings"));
    EXPECT_TRUE(page->findChild<QPushButton*>(QStringLiteral("advancedSettingsLink"))->font().underline());
    EXPECT_EQ(addButton()->text(), QStringLiteral("add"));
    for (QLabel* row : page->findChildren<QLabel*>(QStringLiteral("siteRow")))
        EXPECT_EQ(row->accessibleName(), row->text());
}

TEST_F(MyBlockedSitesWithoutServerTest, AnUnreachableServerShowsNothingAndEndsTheBusyFlag)
{
    QList<bool> changes;
    QObject::connect(&loading, &LoadingModel::isLoadingChanged, &loading, [&](bool on) { changes.append(on); });
    ASSERT_NO_FATAL_FAILURE(addConfirmed(QStringLiteral("offline.example")));
    ASSERT_TRUE(waitIdle());
    settle();
    EXPECT_EQ(changes, (QList<bool>{true, false}));
    EXPECT_EQ(page->alert(), nullptr);
    EXPECT_EQ(session()->myBlockedSites().size(), 2);
    EXPECT_EQ(field()->text(), QStringLiteral("offline.example"));
    EXPECT_EQ(receivedSoFar(IpcMessageId::sync).size(), 0);
}

TEST_F(MyBlockedSitesTest, AnAnswerAfterThePageWentStillAddsTheSite)
{
    ManagementServerPeer::Answer slow = answer(200, "{}");
    slow.delayMs = 300;
    ASSERT_TRUE(server->script(selfModerationAdd, slow));
    ASSERT_NO_FATAL_FAILURE(addConfirmed(QStringLiteral("late.example")));
    EXPECT_TRUE(loading.isLoading());
    showOtherPage();
    EXPECT_TRUE(page.isNull());
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(session()->myBlockedSites().last(), QStringLiteral("late.example"));
    EXPECT_EQ(receivedSoFar(IpcMessageId::sync).size(), 1);
}
