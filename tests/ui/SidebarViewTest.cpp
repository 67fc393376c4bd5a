#include "Rendering.h"

#include "control/AppDelegate.h"
#include "core/LoadingModel.h"
#include "core/SessionObservableObject.h"
#include "ui/ContentView.h"
#include "ui/MainView.h"
#include "ui/icons/FAText.h"
#include "ui/sidebar/SidebarCell.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/styles/Styles.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The signed-in window content on the application delegate's session state, so that the
// status menu's own actions drive it.
class SidebarTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        delegate.buildStatusMenu();
        session()->setIsLoggedIn(true);
        view = std::make_unique<ContentView>(session(), &loading);
        view->resize(1000, 700);
        view->show();
        settle();
        main = view->findChild<MainView*>();
        ASSERT_NE(main, nullptr);
        sidebar = main->sidebar();
    }

    static void settle()
    {
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
    }

    SessionObservableObject* session() const { return delegate.sessionModel(); }

    void chooseFromStatusMenu(const QString& title)
    {
        for (QAction* action : delegate.statusMenu()->actions())
            if (action->text() == title) {
                action->trigger();
                settle();
                return;
            }
        ADD_FAILURE() << "no status menu item " << title.toStdString();
    }

    // Which entries show the accent ground, read from the rendered sidebar.
    QList<MainViewTabs> highlightedOnScreen() const
    {
        const QImage image = Rendering::grab(sidebar);
        QList<MainViewTabs> highlighted;
        for (SidebarCell* cell : sidebar->cells()) {
            // Just inside the rounded corner on the leading padding, where no text is drawn.
            const QPoint probe = cell->geometry().topLeft() + QPoint(6, cell->height() / 2);
            if (Rendering::near(image.pixel(probe), Styles::accentColor())) {
                highlighted.append(cell->id());
                continue;
            }
            EXPECT_TRUE(Rendering::near(image.pixel(probe), SidebarView::backgroundColor()))
                    << rawValue(cell->id()).toStdString();
        }
        return highlighted;
    }

    AppDelegate delegate;
    LoadingModel loading;
    std::unique_ptr<ContentView> view;
    MainView* main = nullptr;
    SidebarView* sidebar = nullptr;
};

struct Entry
{
    MainViewTabs page;
    const char* title;
    const char* icon;
    const char* pageName;
};

const Entry entries[] = {
    {MainViewTabs::blockHistory, "Block History", "history", "BlockHistoryView"},
    {MainViewTabs::myBlockedSites, "My Blocked Sites", "ban", "MyBlockedSitesView"},
    {MainViewTabs::timeRestrictions, "Time Restrictions", "user-lock", "TimeRestrictionsView"},
    {MainViewTabs::relaxedPolicy, "Relaxed Policy", "eye", "RelaxedPolicyView"},
    {MainViewTabs::advanced, "Advanced", "cog", "AdvancedView"},
    {MainViewTabs::filterTest, "Filter Test", "stethoscope", "FilterTestView"},
    {MainViewTabs::helpAndSupport, "Help & Support", "question-circle", "HelpAndSupportView"},
};

} // namespace

TEST_F(SidebarTest, ListsTheSevenPagesInOrderWithTheirIconsSizesAndColours)
{
    EXPECT_EQ(sidebar->geometry(), QRect(0, 0, 250, 670));
    const QList<SidebarCell*> cells = sidebar->cells();
    ASSERT_EQ(cells.size(), 7);
    int previousBottom = -1;
    for (int i = 0; i < 7; ++i) {
        const Entry& entry = entries[i];
        SCOPED_TRACE(entry.title);
        SidebarCell* cell = cells.at(i);
        EXPECT_EQ(cell->id(), entry.page);
        EXPECT_EQ(cell->objectName(), QString::fromUtf8(entry.title));
        auto* title = cell->findChild<QLabel*>(QStringLiteral("title"));
        ASSERT_NE(title, nullptr);
        EXPECT_EQ(title->text(), QString::fromUtf8(entry.title));
        auto* icon = cell->findChild<FAText*>(QStringLiteral("icon"));
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(icon->iconName(), QString::fromLatin1(entry.icon));
        EXPECT_TRUE(icon->hasGlyph());
        EXPECT_EQ(icon->iconSize(), 12);
        // Padding 20, then the 197 by 40 label area with icon and title leading-aligned.
        EXPECT_EQ(cell->size(), QSize(217, 40));
        EXPECT_EQ(icon->mapTo(cell, QPoint(0, 0)).x(), 20);
        EXPECT_LT(icon->geometry().right(), title->geometry().left());
        EXPECT_EQ(icon->palette().color(icon->foregroundRole()), QColor(Qt::white));
        EXPECT_EQ(title->palette().color(title->foregroundRole()), QColor(Qt::white));
        EXPECT_GT(cell->y(), previousBottom);
        previousBottom = cell->geometry().bottom();
    }
    EXPECT_LE(previousBottom, sidebar->height());
    const QImage image = Rendering::grab(sidebar);
    EXPECT_TRUE(Rendering::near(image.pixel(2, 660), SidebarView::backgroundColor(), 0));
    EXPECT_TRUE(Rendering::near(image.pixel(248, 5), SidebarView::backgroundColor(), 0));
}

TEST_F(SidebarTest, StartsOnTheBlockHistoryPageWithItsEntryHighlighted)
{
    EXPECT_EQ(main->detail()->objectName(), QStringLiteral("BlockHistoryView"));
    EXPECT_TRUE(main->detail()->isVisible());
    EXPECT_EQ(session()->selectedSideBarTab(), MainViewTabs::blockHistory);
    EXPECT_EQ(highlightedOnScreen(), QList<MainViewTabs>{MainViewTabs::blockHistory});
}

TEST_F(SidebarTest, StatusMenuPageActionsShowTheirPageAndMoveTheHighlight)
{
    struct Action
    {
        const char* item;
        MainViewTabs page;
        const char* pageName;
    };
    for (const Action& action : {Action{"Sync Settings", MainViewTabs::advanced, "AdvancedView"},
                                 Action{"Use Relaxed Policy", MainViewTabs::relaxedPolicy, "RelaxedPolicyView"},
                                 Action{"Block History", MainViewTabs::blockHistory, "BlockHistoryView"}}) {
        SCOPED_TRACE(action.item);
        chooseFromStatusMenu(QString::fromLatin1(action.item));
        EXPECT_EQ(session()->selectedMainPage(), action.page);
        ASSERT_NE(main->detail(), nullptr);
        EXPECT_EQ(main->detail()->objectName(), QString::fromLatin1(action.pageName));
        EXPECT_TRUE(main->detail()->isVisible());
        EXPECT_EQ(main->detail()->mapTo(main, QPoint(0, 0)), QPoint(250, 0));
        EXPECT_EQ(session()->selectedSideBarTab(), action.page);
        EXPECT_EQ(highlightedOnScreen(), QList<MainViewTabs>{action.page});
        EXPECT_TRUE(sidebar->cell(action.page)->isActive());
    }
}

TEST_F(SidebarTest, ClickingEachEntryShowsItsPageAndMovesTheHighlightOnceThePageAppears)
{
    for (const Entry& entry : entries) {
        SCOPED_TRACE(entry.title);
        SidebarCell* cell = sidebar->findChild<SidebarCell*>(QString::fromUtf8(entry.title));
        ASSERT_NE(cell, nullptr);
        // The highlight must move after the new page is on screen, not when the entry is chosen.
        bool pageWasShownFirst = false;
        const auto watch = QObject::connect(session(), &SessionObservableObject::selectedSideBarTabChanged, [&] {
            pageWasShownFirst = main->detail() && main->detail()->isVisible() &&
                                main->detail()->objectName() == QString::fromLatin1(entry.pageName);
        });
        const bool changes = session()->selectedSideBarTab() != entry.page;
        QTest::mouseClick(cell, Qt::LeftButton);
        settle();
        QObject::disconnect(watch);
        EXPECT_EQ(session()->selectedMainPage(), entry.page);
        EXPECT_EQ(main->detail()->objectName(), QString::fromLatin1(entry.pageName));
        EXPECT_EQ(session()->selectedSideBarTab(), entry.page);
        if (changes) {
            EXPECT_TRUE(pageWasShownFirst);
        }
        EXPECT_EQ(highlightedOnScreen(), QList<MainViewTabs>{entry.page});
        // Only the one page lives in the detail column.
        EXPECT_EQ(main->findChildren<QWidget*>(QString::fromLatin1(entry.pageName)).size(), 1);
    }
}

TEST_F(SidebarTest, EachActivationBuildsAFreshPageButChoosingTheShownPageAgainKeepsIt)
{
    SidebarCell* advanced = sidebar->cell(MainViewTabs::advanced);
    QTest::mouseClick(advanced, Qt::LeftButton);
    settle();
    QPointer<QWidget> first = main->detail();
    ASSERT_EQ(first->objectName(), QStringLiteral("AdvancedView"));

    QTest::mouseClick(advanced, Qt::LeftButton);
    chooseFromStatusMenu(QStringLiteral("Sync Settings"));
    EXPECT_EQ(main->detail(), first.data());

    QTest::mouseClick(sidebar->cell(MainViewTabs::filterTest), Qt::LeftButton);
    settle();
    EXPECT_TRUE(first.isNull());
    QTest::mouseClick(advanced, Qt::LeftButton);
    settle();
    ASSERT_NE(main->detail(), nullptr);
    EXPECT_EQ(main->detail()->objectName(), QStringLiteral("AdvancedView"));
}

TEST_F(SidebarTest, APageChosenWhileTheWindowIsHiddenMovesTheHighlightWhenTheWindowShows)
{
    view->hide();
    chooseFromStatusMenu(QStringLiteral("Use Relaxed Policy"));
    EXPECT_EQ(session()->selectedMainPage(), MainViewTabs::relaxedPolicy);
    EXPECT_EQ(main->detail()->objectName(), QStringLiteral("RelaxedPolicyView"));
    EXPECT_EQ(session()->selectedSideBarTab(), MainViewTabs::blockHistory);

    view->show();
    settle();
    EXPECT_EQ(session()->selectedSideBarTab(), MainViewTabs::relaxedPolicy);
    EXPECT_EQ(highlightedOnScreen(), QList<MainViewTabs>{MainViewTabs::relaxedPolicy});
}

TEST_F(SidebarTest, WithNoPageSelectedNoEntryIsActiveAndTheBlockHistoryShows)
{
    QTest::mouseClick(sidebar->cell(MainViewTabs::helpAndSupport), Qt::LeftButton);
    settle();
    session()->setSelectedMainPage(std::nullopt);
    settle();
    for (SidebarCell* cell : sidebar->cells())
        EXPECT_FALSE(cell->isActive()) << rawValue(cell->id()).toStdString();
    ASSERT_NE(main->detail(), nullptr);
    EXPECT_EQ(main->detail()->objectName(), QStringLiteral("BlockHistoryView"));
    // The highlight stays with the page last shown from the sidebar.
    EXPECT_EQ(session()->selectedSideBarTab(), MainViewTabs::helpAndSupport);
}
