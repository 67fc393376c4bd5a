// The advanced page driven through its widgets: the update and sync presentations, the
// one-second hold of "synchronize settings", and the deactivation request against the
// management-server peer.
#include "core/LoadingModel.h"
#include "core/Log.h"
#include "core/SessionData.h"
#include "core/SessionObservableObject.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "ui/Fonts.h"
#include "ui/icons/FAText.h"
#include "ui/pages/AdvancedView.h"

#include "LogEntries.h"
#include "ManagementServerPeer.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

using UpdateStatus = SessionObservableObject::UpdateStatus;
using SyncStatus = SessionObservableObject::SyncStatus;

class AdvancedViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Fonts::install();
        ASSERT_TRUE(server.isRunning());
        AdvancedView::setCheckForUpdates([this] { ++updateChecks; });
        AdvancedView::setQuit([this] {
            ++quits;
            tokenAtQuit = UserDefaults::standard().string(SessionData::authTokenKey);
        });
        UserDefaults::standard().setString(SessionData::authTokenKey, QString::fromLatin1(ManagementServerPeer::demoToken));
        QObject::connect(&loading, &LoadingModel::isLoadingChanged, &loading,
                         [this](bool isLoading) { loadingChanges.append(isLoading); });
        page = std::make_unique<AdvancedView>(&session, &loading);
        page->resize(750, 600);
        page->show();
    }

    void TearDown() override
    {
        page.reset();
        AdvancedView::setCheckForUpdates({});
        AdvancedView::setQuit({});
    }

    template <typename T> T* child(const char* name) const
    {
        auto* widget = page->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QString text(const char* name) const { return child<QLabel>(name)->text(); }

    // Presses "deactivate" and waits for the reply to be handled.
    void deactivate()
    {
        QTest::mouseClick(child<QPushButton>("deactivateButton"), Qt::LeftButton);
        ASSERT_TRUE(loading.isLoading());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !loading.isLoading(); }, 20000));
    }

    ManagementServerPeer server;
    SessionObservableObject session;
    LoadingModel loading;
    std::unique_ptr<AdvancedView> page;
    QList<bool> loadingChanges;
    int updateChecks = 0;
    int quits = 0;
    std::optional<QString> tokenAtQuit;
};

ManagementServerPeer::Answer reply(int status, const QByteArray& body)
{
    ManagementServerPeer::Answer answer;
    answer.status = status;
    answer.body = body;
    return answer;
}

struct UpdateRow
{
    UpdateStatus status;
    const char* text;
    const char* icon;
    QColor color;
    const char* button;
};

} // namespace

TEST_F(AdvancedViewTest, EachUpdateStatusChangesTextIconColourAndButtonTogether)
{
    const UpdateRow rows[] = {
        {UpdateStatus::hasUpdate, "Update Available", "exclamation-circle", AdvancedView::red(), "install"},
        {UpdateStatus::error, "Update Error", "times", AdvancedView::red(), "check for updates"},
        {UpdateStatus::inProgress, "Checking..", "sync-alt", AdvancedView::green(), "check for updates"},
        {UpdateStatus::noUpdate, "Up to date", "check", AdvancedView::green(), "check for updates"},
    };
    for (const UpdateRow& row : rows) {
        SCOPED_TRACE(row.text);
        session.setUpdateStatus(row.status);
        EXPECT_EQ(text("updateStatusText"), QString::fromLatin1(row.text));
        FAText* icon = child<FAText>("updateIcon");
        EXPECT_EQ(icon->iconName(), QString::fromLatin1(row.icon));
        EXPECT_TRUE(icon->hasGlyph());
        EXPECT_EQ(icon->color(), row.color);
        QPushButton* button = child<QPushButton>("updateButton");
        EXPECT_EQ(button->text(), QString::fromLatin1(row.button));
        // Whatever it says, the button stays usable and runs the same check.
        EXPECT_TRUE(button->isEnabled());
        const int before = updateChecks;
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(updateChecks, before + 1);
    }
    // The page writes no status itself.
    EXPECT_EQ(session.updateStatus(), UpdateStatus::noUpdate);
}

TEST_F(AdvancedViewTest, EachSyncStatusChangesIconAndColour)
{
    const struct
    {
        SyncStatus status;
        const char* icon;
        QColor color;
    } rows[] = {
        {SyncStatus::error, "times", AdvancedView::red()},
        {SyncStatus::inProgress, "sync-alt", AdvancedView::green()},
        {SyncStatus::success, "check", AdvancedView::green()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.icon);
        session.setSyncStatus(row.status);
        FAText* icon = child<FAText>("syncIcon");
        EXPECT_EQ(icon->iconName(), QString::fromLatin1(row.icon));
        EXPECT_EQ(icon->color(), row.color);
    }
    EXPECT_EQ(text("syncTitle"), QStringLiteral("Synchronize"));
}

TEST_F(AdvancedViewTest, LastCheckedTextsFollowTheSessionUnchanged)
{
    session.setLastUpdateTimeString(QStringLiteral("1/2/2025 9:41 AM"));
    session.setLastSyncTimeString(QStringLiteral("any text, as written"));
    EXPECT_EQ(text("lastUpdateText"), QStringLiteral("Last Checked: 1/2/2025 9:41 AM"));
    EXPECT_EQ(text("lastSyncText"), QStringLiteral("Last Checked: any text, as written"));
}

TEST_F(AdvancedViewTest, ExplanationKeepsItsTwoLineFeedsAndNoFinalFullStop)
{
    const QString explanation = text("deactivationExplanation");
    EXPECT_TRUE(explanation.contains(QStringLiteral("verify the action.\n\nOnce approved, clicking deactivate")));
    EXPECT_TRUE(explanation.endsWith(QStringLiteral("will stop the filter")));
    EXPECT_TRUE(explanation.startsWith(QStringLiteral("To disable the filter for diagnostics or removal")));
    EXPECT_EQ(text("title"), QStringLiteral("Advanced"));
    EXPECT_EQ(text("deactivationHeading"), QStringLiteral("Request Deactivation"));
}

TEST_F(AdvancedViewTest, SynchronizeIsHeldForOneSecondEachTimeAndReportsNoExtensionAtOnce)
{
    QPushButton* button = child<QPushButton>("syncButton");
    const QString logFile = Paths::libraryDirectory() + QStringLiteral("/Logs/logfile-0.log");
    for (int press = 1; press <= 2; ++press) {
        SCOPED_TRACE(press);
        QElapsedTimer held;
        held.start();
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(page->isSyncDisabled());
        EXPECT_FALSE(button->isEnabled());
        // Nothing is connected: the link's report turns the status to error, not inProgress.
        EXPECT_TRUE(QTest::qWaitFor([&] { return session.syncStatus() == SyncStatus::error; }, 5000));
        EXPECT_EQ(child<FAText>("syncIcon")->iconName(), QStringLiteral("times"));
        // A second press while held does nothing.
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return button->isEnabled(); }, 10000));
        EXPECT_GE(held.elapsed(), 990);
        EXPECT_FALSE(page->isSyncDisabled());
    }
    const QStringList entries = LogEntries::read(logFile);
    EXPECT_EQ(entries.count(QStringLiteral("IpcConnection not registered with the provider")), 2);
}

TEST_F(AdvancedViewTest, SynchronizeIsEnabledAgainEvenWhileTheStatusStaysInProgress)
{
    QPushButton* button = child<QPushButton>("syncButton");
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.syncStatus() == SyncStatus::error; }, 5000));
    session.setSyncStatus(SyncStatus::inProgress);
    EXPECT_TRUE(QTest::qWaitFor([&] { return button->isEnabled(); }, 10000));
    EXPECT_EQ(session.syncStatus(), SyncStatus::inProgress);
}

TEST_F(AdvancedViewTest, GrantedDeactivationClearsTheTokenAndQuits)
{
    ASSERT_TRUE(server.script(QStringLiteral("me/deactivate"), reply(200, "approved")));
    deactivate();
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(tokenAtQuit, QString());
    EXPECT_EQ(page->deactivationPendingAlert(), nullptr);
    EXPECT_EQ(loadingChanges, (QList<bool>{true, false}));

    const auto requests = server.requests(QStringLiteral("me/deactivate"));
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests.first().method, QStringLiteral("POST"));
    EXPECT_EQ(requests.first().header(QStringLiteral("Authorization")),
              QStringLiteral("Bearer ") + QString::fromLatin1(ManagementServerPeer::demoToken));
    EXPECT_EQ(requests.first().header(QStringLiteral("Accept")),
              QStringLiteral("application/json,text/html,text/plain;q=0.8,*/*;q=0.8"));
    const QJsonObject body = requests.first().jsonBody();
    for (const char* key : {"identifier", "device_id", "os", "app_version", "os_version"})
        EXPECT_TRUE(body.contains(QString::fromLatin1(key))) << key;
    EXPECT_EQ(body.value(QStringLiteral("os")).toString(), QStringLiteral("OSX"));
}

TEST_F(AdvancedViewTest, EveryFailedDeactivationShowsThePendingAlertAndKeepsTheToken)
{
    const struct
    {
        const char* name;
        int status;
        QByteArray body;
    } replies[] = {
        {"200 with an empty body", 200, QByteArray()},
        {"403 pending approval", 403, R"({"error":"Deactivation request pending approval"})"},
        {"500 with a body", 500, "approved"},
    };
    for (const auto& reply : replies) {
        SCOPED_TRACE(reply.name);
        ASSERT_TRUE(server.script(QStringLiteral("me/deactivate"), ::reply(reply.status, reply.body), true));
        deactivate();
        EXPECT_EQ(quits, 0);
        EXPECT_TRUE(page->showDeactivationPending());
        QMessageBox* alert = page->deactivationPendingAlert();
        ASSERT_NE(alert, nullptr);
        EXPECT_TRUE(alert->isVisible());
        EXPECT_EQ(alert->text(), QStringLiteral("Request Received"));
        EXPECT_EQ(alert->informativeText(),
                  QStringLiteral("Your activation request has been received, but approval is still pending"));
        EXPECT_EQ(alert->buttons().size(), 1);
        // Dismissing it clears the flag; the request can be sent again.
        QTest::mouseClick(alert->buttons().first(), Qt::LeftButton);
        EXPECT_FALSE(page->showDeactivationPending());
        EXPECT_EQ(page->deactivationPendingAlert(), nullptr);
        EXPECT_EQ(UserDefaults::standard().string(SessionData::authTokenKey),
                  QString::fromLatin1(ManagementServerPeer::demoToken));
    }
}

TEST(AdvancedViewWithoutServer, AnUnreachableServerShowsThePendingAlert)
{
    Fonts::install();
    SessionObservableObject session;
    LoadingModel loading;
    int quits = 0;
    AdvancedView::setQuit([&] { ++quits; });
    // TestEnvironment points the server at a closed loopback port.
    AdvancedView page(&session, &loading);
    page.show();
    QTest::mouseClick(page.findChild<QPushButton*>(QStringLiteral("deactivateButton")), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !loading.isLoading(); }, 20000));
    EXPECT_TRUE(page.showDeactivationPending());
    EXPECT_NE(page.deactivationPendingAlert(), nullptr);
    EXPECT_EQ(quits, 0);
    AdvancedView::setQuit({});
}

TEST_F(AdvancedViewTest, EveryControlHasAnAccessibleName)
{
    for (UpdateStatus status : {UpdateStatus::noUpdate, UpdateStatus::hasUpdate, UpdateStatus::error,
                                UpdateStatus::inProgress}) {
        session.setUpdateStatus(status);
        for (QWidget* widget : page->findChildren<QWidget*>()) {
            if (!qobject_cast<QPushButton*>(widget) && !qobject_cast<QLabel*>(widget) && !qobject_cast<FAText*>(widget))
                continue;
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            ASSERT_NE(accessible, nullptr);
            EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << widget->objectName().toStdString();
        }
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(child<FAText>("updateIcon"))->text(QAccessible::Name),
              QStringLiteral("Update status: Checking.."));
}
