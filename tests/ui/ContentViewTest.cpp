#include "Rendering.h"

#include "core/LoadingModel.h"
#include "core/SessionObservableObject.h"
#include "ui/ContentView.h"
#include "ui/MainView.h"
#include "ui/TitleBar.h"
#include "ui/components/LoadingView.h"
#include "ui/pages/BlockHistoryView.h"
#include "ui/pages/LoginView.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/styles/Styles.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

class ContentViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        view = std::make_unique<ContentView>(&session, &loading);
        view->setRestartComputer([this] { ++restarts; });
        view->resize(1000, 700);
        view->show();
        settle();
        // The sign-in page polls once as it appears; no server answers here.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !loading.isLoading(); }, 15000));
    }

    // Runs pending work, retired pages' deletion included.
    static void settle()
    {
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
    }

    template <typename T> T* shown(const char* name) const
    {
        T* found = nullptr;
        int count = 0;
        for (T* widget : view->findChildren<T*>(QString::fromLatin1(name))) {
            if (widget->isVisible()) {
                found = widget;
                ++count;
            }
        }
        return count == 1 ? found : nullptr;
    }

    QList<QMessageBox*> visibleAlerts() const
    {
        QList<QMessageBox*> alerts;
        for (QMessageBox* alert : view->findChildren<QMessageBox*>())
            if (alert->isVisible())
                alerts.append(alert);
        return alerts;
    }

    static QPushButton* buttonWithText(QMessageBox* alert, const QString& text)
    {
        for (QAbstractButton* button : alert->buttons())
            if (button->text() == text)
                return qobject_cast<QPushButton*>(button);
        return nullptr;
    }

    // The overlay lies over `point` of the page area when it is the widget found there.
    bool overlayOnTopAt(QPoint point) const
    {
        LoadingView* overlay = LoadingView::over(view->pageArea());
        QWidget* hit = view->pageArea()->childAt(point);
        return overlay && hit && (hit == overlay || overlay->isAncestorOf(hit));
    }

    SessionObservableObject session;
    LoadingModel loading;
    std::unique_ptr<ContentView> view;
    int restarts = 0;
};

QColor grayOverWhite()
{
    const QColor gray = Styles::busyOverlayColor();
    return QColor((gray.red() + 255) / 2, (gray.green() + 255) / 2, (gray.blue() + 255) / 2);
}

} // namespace

TEST_F(ContentViewTest, SigningInShowsTheSidebarLayoutAndSigningOutANewSignInPage)
{
    EXPECT_EQ(view->objectName(), QStringLiteral("ContentView"));
    TitleBar* titleBar = shown<TitleBar>("TitleBar");
    ASSERT_NE(titleBar, nullptr);
    EXPECT_EQ(titleBar->geometry(), QRect(0, 0, 1000, 30));
    EXPECT_EQ(view->pageArea()->geometry(), QRect(0, 30, 1000, 670));

    QPointer<LoginView> firstLogin = shown<LoginView>("LoginView");
    ASSERT_FALSE(firstLogin.isNull());
    EXPECT_EQ(view->page(), firstLogin.data());
    EXPECT_EQ(firstLogin->geometry(), view->pageArea()->rect());
    EXPECT_EQ(view->findChild<MainView*>(), nullptr);

    // Writing the unchanged value keeps the page the user may be typing into.
    session.setIsLoggedIn(false);
    settle();
    ASSERT_EQ(shown<LoginView>("LoginView"), firstLogin.data());

    session.setIsLoggedIn(true);
    EXPECT_FALSE(firstLogin->isVisible()) << "the sign-in page leaves at once";
    settle();
    EXPECT_TRUE(firstLogin.isNull());
    EXPECT_EQ(view->findChildren<LoginView*>().size(), 0);

    MainView* main = shown<MainView>("MainView");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(view->page(), main);
    EXPECT_EQ(main->geometry(), view->pageArea()->rect());
    SidebarView* sidebar = shown<SidebarView>("SidebarView");
    ASSERT_NE(sidebar, nullptr);
    EXPECT_EQ(sidebar->geometry(), QRect(0, 0, 250, 670));
    BlockHistoryView* history = shown<BlockHistoryView>("BlockHistoryView");
    ASSERT_NE(history, nullptr);
    EXPECT_EQ(main->detail(), history);
    EXPECT_EQ(history->mapTo(main, QPoint(0, 0)), QPoint(250, 0));
    EXPECT_EQ(history->size(), QSize(750, 670));

    // A page chosen in the sidebar survives a rewrite of the unchanged value.
    auto* chosen = new QWidget;
    main->setDetail(chosen);
    session.setIsLoggedIn(true);
    settle();
    EXPECT_EQ(shown<MainView>("MainView"), main);
    EXPECT_EQ(main->detail(), chosen);
    EXPECT_TRUE(chosen->isVisible());
    EXPECT_EQ(view->findChildren<BlockHistoryView*>().size(), 0);

    QPointer<MainView> signedIn = main;
    session.setIsLoggedIn(false);
    settle();
    EXPECT_TRUE(signedIn.isNull());
    LoginView* secondLogin = shown<LoginView>("LoginView");
    ASSERT_NE(secondLogin, nullptr);
    EXPECT_EQ(view->findChildren<LoginView*>().size(), 1);
    EXPECT_EQ(secondLogin->geometry(), view->pageArea()->rect());

    // Signing in again starts the sidebar layout afresh on the block history page.
    session.setIsLoggedIn(true);
    settle();
    ASSERT_NE(shown<MainView>("MainView"), nullptr);
    EXPECT_NE(shown<BlockHistoryView>("BlockHistoryView"), nullptr);
}

TEST_F(ContentViewTest, BusyOverlayCoversWhicheverPageIsShownButNotTheTitleBar)
{
    for (bool signedIn : {false, true}) {
        SCOPED_TRACE(signedIn ? "signed in" : "signed out");
        session.setIsLoggedIn(signedIn);
        settle();
        const QPoint middle = view->pageArea()->rect().center();
        EXPECT_EQ(LoadingView::over(view->pageArea()), nullptr);

        loading.setIsLoading(true);
        settle();
        LoadingView* overlay = LoadingView::over(view->pageArea());
        ASSERT_NE(overlay, nullptr);
        EXPECT_TRUE(overlay->isVisible());
        EXPECT_EQ(overlay->geometry(), view->pageArea()->rect());
        EXPECT_EQ(overlay->geometry(), view->page()->geometry());
        EXPECT_TRUE(overlayOnTopAt(middle));
        EXPECT_TRUE(overlayOnTopAt(QPoint(10, 10))); // over the sidebar when signed in
        QImage image = Rendering::grab(view.get());
        EXPECT_TRUE(Rendering::near(image.pixel(700, 600), grayOverWhite()));
        EXPECT_TRUE(Rendering::near(image.pixel(500, 15), Styles::accentColor(), 0));

        loading.setIsLoading(false);
        settle();
        EXPECT_EQ(LoadingView::over(view->pageArea()), nullptr);
        image = Rendering::grab(view.get());
        EXPECT_TRUE(Rendering::near(image.pixel(700, 600), Qt::white, 0));
    }

    // The page that replaces the shown one while busy goes below the overlay. Checked at
    // once: a new sign-in page's first poll clears the flag when its answer comes.
    for (bool signedIn : {false, true}) {
        loading.setIsLoading(true);
        session.setIsLoggedIn(signedIn);
        EXPECT_TRUE(overlayOnTopAt(view->pageArea()->rect().center())) << signedIn;
        EXPECT_EQ(view->pageArea()->findChildren<LoadingView*>().size(), 1);
        ASSERT_TRUE(QTest::qWaitFor([&] { return signedIn || !loading.isLoading(); }, 15000));
    }
}

TEST_F(ContentViewTest, AccentGroundShowsAroundTheTitleBarItemsAndThePageAreaIsWhite)
{
    for (bool signedIn : {false, true}) {
        SCOPED_TRACE(signedIn ? "signed in" : "signed out");
        session.setIsLoggedIn(signedIn);
        settle();
        const QImage image = Rendering::grab(view.get());
        // The bar's corners and the room its spacer leaves between title and e-mail.
        for (const QPoint& p : {QPoint(0, 0), QPoint(500, 15), QPoint(999, 29)}) {
            const QRgb pixel = image.pixel(p);
            EXPECT_EQ(qRed(pixel), 8) << p.x() << "," << p.y();
            EXPECT_EQ(qGreen(pixel), 140) << p.x() << "," << p.y();
            EXPECT_EQ(qBlue(pixel), 188) << p.x() << "," << p.y();
        }
        // Signed in, the sidebar takes the first 250 pixels of the page area.
        const QColor left = signedIn ? SidebarView::backgroundColor() : QColor(Qt::white);
        for (const QPoint& p : {QPoint(0, 30), QPoint(100, 690)})
            EXPECT_TRUE(Rendering::near(image.pixel(p), left, 0)) << p.x() << "," << p.y();
        for (const QPoint& p : {QPoint(251, 31), QPoint(600, 650), QPoint(999, 699)})
            EXPECT_TRUE(Rendering::near(image.pixel(p), Qt::white, 0)) << p.x() << "," << p.y();
    }
}

TEST_F(ContentViewTest, KeepsAMinimumOf1000By600AndNoMaximum)
{
    EXPECT_EQ(view->minimumSize(), QSize(1000, 600));
    EXPECT_EQ(view->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    view->resize(640, 480);
    settle();
    EXPECT_EQ(view->size(), QSize(1000, 600));
    view->resize(1600, 1000);
    settle();
    EXPECT_EQ(view->size(), QSize(1600, 1000));
    EXPECT_EQ(view->pageArea()->geometry(), QRect(0, 30, 1600, 970));
}

namespace {

struct AlertChoice
{
    const char* button;
    int restarts;
};

} // namespace

TEST_F(ContentViewTest, RebootAlertShowsTheTextsAndEachButtonClearsTheFlag)
{
    for (const AlertChoice& choice : {AlertChoice{"Reboot later", 0}, AlertChoice{"Reboot now", 1}}) {
        SCOPED_TRACE(choice.button);
        restarts = 0;
        EXPECT_EQ(view->rebootAlert(), nullptr);

        session.setShouldRequestReboot(true);
        settle();
        ASSERT_EQ(visibleAlerts().size(), 1);
        QMessageBox* alert = visibleAlerts().first();
        EXPECT_EQ(view->rebootAlert(), alert);
        // Opened without a nested event loop: control came back here with the alert up.
        EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
        EXPECT_EQ(alert->text(), QStringLiteral("Reboot required"));
        EXPECT_EQ(alert->informativeText(), QStringLiteral("Please reboot to complete update."));
        ASSERT_EQ(alert->buttons().size(), 2);
        QPushButton* later = buttonWithText(alert, QStringLiteral("Reboot later"));
        QPushButton* now = buttonWithText(alert, QStringLiteral("Reboot now"));
        ASSERT_NE(later, nullptr);
        ASSERT_NE(now, nullptr);
        EXPECT_EQ(alert->buttonRole(later), QMessageBox::RejectRole);
        EXPECT_EQ(alert->buttonRole(now), QMessageBox::AcceptRole);
        EXPECT_EQ(alert->escapeButton(), later);
        EXPECT_EQ(alert->defaultButton(), now);

        // The reboot check writes the flag again every time: still one alert.
        session.setShouldRequestReboot(true);
        settle();
        EXPECT_EQ(visibleAlerts().size(), 1);

        QPushButton* chosen = buttonWithText(alert, QString::fromLatin1(choice.button));
        QTest::mouseClick(chosen, Qt::LeftButton);
        settle();
        EXPECT_FALSE(session.shouldRequestReboot());
        EXPECT_TRUE(visibleAlerts().isEmpty());
        EXPECT_EQ(view->rebootAlert(), nullptr);
        EXPECT_EQ(restarts, choice.restarts);
    }
}

TEST_F(ContentViewTest, RebootAlertClosedByEscapeOrByTheFlagDoesNotRestart)
{
    session.setShouldRequestReboot(true);
    settle();
    ASSERT_EQ(visibleAlerts().size(), 1);
    QTest::keyClick(visibleAlerts().first(), Qt::Key_Escape);
    settle();
    EXPECT_FALSE(session.shouldRequestReboot());
    EXPECT_TRUE(visibleAlerts().isEmpty());

    session.setShouldRequestReboot(true);
    settle();
    ASSERT_EQ(visibleAlerts().size(), 1);
    session.setShouldRequestReboot(false);
    settle();
    EXPECT_TRUE(visibleAlerts().isEmpty());
    EXPECT_EQ(view->findChildren<QMessageBox*>().size(), 0);
    EXPECT_FALSE(session.shouldRequestReboot());
    EXPECT_EQ(restarts, 0);
}

TEST_F(ContentViewTest, RebootAlertWaitsForAHiddenWindowToBeShown)
{
    view->hide();
    session.setShouldRequestReboot(true);
    settle();
    EXPECT_TRUE(visibleAlerts().isEmpty());

    view->show();
    settle();
    ASSERT_EQ(visibleAlerts().size(), 1);
    EXPECT_EQ(visibleAlerts().first()->text(), QStringLiteral("Reboot required"));
}
