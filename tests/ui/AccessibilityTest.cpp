// What screen readers get from the window's controls (the interfaces AT-SPI serves).
#include "control/AppDelegate.h"
#include "control/NvWinow.h"
#include "core/LoadingModel.h"
#include "core/SessionObservableObject.h"
#include "platform/Workspace.h"
#include "ui/ContentView.h"
#include "ui/MainView.h"
#include "ui/TitleBar.h"
#include "ui/components/LineLimitedLabel.h"
#include "ui/pages/BlockHistoryRow.h"
#include "ui/pages/BlockHistoryView.h"
#include "ui/sidebar/SidebarCell.h"
#include "ui/sidebar/SidebarView.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

QAccessibleInterface* accessible(QObject* object)
{
    return QAccessible::queryAccessibleInterface(object);
}

QString nameOf(QObject* object)
{
    QAccessibleInterface* interface = accessible(object);
    return interface ? interface->text(QAccessible::Name) : QStringLiteral("<none>");
}

void settle()
{
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

// The window as the program makes it, with the real content.
struct Window
{
    Window()
    {
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        content = new ContentView(&session, &loading);
        layout->addWidget(content);
        window.resize(1000, 700);
    }
    SessionObservableObject session;
    LoadingModel loading;
    NvWinow window;
    ContentView* content;
};

} // namespace

TEST(Accessibility, SignInFieldsAreNamedByTheirLabelsAndTheErrorIsText)
{
    Window w;
    Workspace::orderFrontRegardless(&w.window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w.window));
    auto* email = w.window.findChild<QLineEdit*>(QStringLiteral("emailField"));
    auto* password = w.window.findChild<QLineEdit*>(QStringLiteral("passwordField"));
    ASSERT_NE(email, nullptr);
    // Brought to the front, the window has the keyboard in the e-mail field; Tab moves on.
    EXPECT_EQ(QApplication::focusWidget(), email);
    QTest::keyClick(email, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), password);

    EXPECT_EQ(nameOf(email), QStringLiteral("E-Mail"));
    EXPECT_EQ(nameOf(password), QStringLiteral("Password"));
    EXPECT_EQ(accessible(password)->role(), QAccessible::EditableText);
    EXPECT_EQ(nameOf(w.content->titleBar()->closeButton()), QStringLiteral("Close"));
    EXPECT_EQ(nameOf(w.window.findChild<QPushButton*>(QStringLiteral("loginWithPasswordButton"))),
              QStringLiteral("login with password"));

    auto* error = w.window.findChild<LineLimitedLabel*>(QStringLiteral("errorText"));
    ASSERT_NE(error, nullptr);
    const QString message = QStringLiteral("Wrong password & <b>no</b> markup\nsecond line");
    error->setText(message);
    EXPECT_EQ(accessible(error)->role(), QAccessible::StaticText);
    EXPECT_EQ(nameOf(error), message);
}

TEST(Accessibility, SidebarEntriesAreListItemsWithExactTitlesAndTheShownOneSelected)
{
    Window w;
    w.session.setIsLoggedIn(true);
    Workspace::orderFrontRegardless(&w.window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w.window));
    settle();
    auto* main = w.window.findChild<MainView*>();
    ASSERT_NE(main, nullptr);
    const QList<SidebarCell*> cells = main->sidebar()->cells();
    ASSERT_EQ(cells.size(), 7);
    EXPECT_EQ(nameOf(cells.last()), QStringLiteral("Help & Support"));
    for (SidebarCell* cell : cells) {
        EXPECT_EQ(accessible(cell)->role(), QAccessible::ListItem);
        EXPECT_TRUE(accessible(cell)->state().selectable);
        EXPECT_EQ(accessible(cell)->state().selected, cell->id() == MainViewTabs::blockHistory) << cell->title().toStdString();
    }

    // The keyboard reaches the entries with Tab and presses them with Space.
    cells.first()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), cells.at(1));
    QTest::keyClick(cells.at(1), Qt::Key_Space);
    settle();
    EXPECT_EQ(w.session.selectedMainPage(), MainViewTabs::myBlockedSites);

    // A screen reader presses through the entry's action.
    QAccessibleActionInterface* action = accessible(cells.last())->actionInterface();
    ASSERT_NE(action, nullptr);
    action->doAction(QAccessibleActionInterface::pressAction());
    settle();
    EXPECT_TRUE(QTest::qWaitFor([&] { return accessible(cells.last())->state().selected; }, 5000));
    EXPECT_FALSE(accessible(cells.first())->state().selected);
}

TEST(Accessibility, BlockHistoryRowsReadAllTheirColumnsInTheOrderShown)
{
    SessionObservableObject session;
    const QDateTime when = QDateTime::currentDateTime();
    session.setBlockedUrls({SessionObservableObject::BlockedUrl(when.addSecs(-60), QStringLiteral("https://old.example/"),
                                                                QStringLiteral("Gambling"), QString()),
                            SessionObservableObject::BlockedUrl(when, QStringLiteral("https://new.example/"),
                                                                QStringLiteral("Adult & Mature"), QString())});
    BlockHistoryView page(&session);
    page.resize(750, 600);
    page.show();
    settle();
    const QList<BlockHistoryRow*> rows = page.rows();
    ASSERT_EQ(rows.size(), 2);
    auto* list = rows.first()->parentWidget();
    QAccessibleInterface* listInterface = accessible(list);
    ASSERT_EQ(listInterface->childCount(), 2);
    // Children in the order shown: the newest first.
    EXPECT_EQ(listInterface->child(0)->object(), rows.at(0));
    EXPECT_EQ(listInterface->child(1)->object(), rows.at(1));

    QAccessibleInterface* newest = accessible(rows.at(0));
    EXPECT_EQ(newest->role(), QAccessible::ListItem);
    ASSERT_EQ(newest->childCount(), 3);
    const QStringList columns{newest->child(0)->text(QAccessible::Name), newest->child(1)->text(QAccessible::Name),
                              newest->child(2)->text(QAccessible::Name)};
    EXPECT_EQ(columns, (QStringList{QStringLiteral("Adult & Mature"), rows.at(0)->dateText(), QStringLiteral("https://new.example/")}));
    EXPECT_EQ(newest->text(QAccessible::Name), columns.join(QStringLiteral(", ")));
    EXPECT_EQ(newest->child(2)->parent(), newest);
    EXPECT_EQ(newest->indexOfChild(newest->child(1)), 1);
    EXPECT_TRUE(rows.at(0)->mapToGlobal(QPoint(0, 0)).y() < rows.at(1)->mapToGlobal(QPoint(0, 0)).y());

    // Selecting from the keyboard or through the accessible action shows as selected.
    EXPECT_FALSE(newest->state().selected);
    rows.at(1)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(rows.at(1), Qt::Key_Space);
    EXPECT_TRUE(accessible(rows.at(1))->state().selected);
    newest->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(newest->state().selected);
    EXPECT_FALSE(accessible(rows.at(1))->state().selected);
    ASSERT_TRUE(page.selectedRow().has_value());
    EXPECT_EQ(page.selectedRow()->url, QStringLiteral("https://new.example/"));

    // A new event comes on top, and so in front among the children.
    session.setBlockedUrls(session.blockedUrls() + QList<SessionObservableObject::BlockedUrl>{SessionObservableObject::BlockedUrl(
                                                       when.addSecs(5), QStringLiteral("https://newest.example/"),
                                                       QStringLiteral("Malware"), QString())});
    settle();
    EXPECT_EQ(accessible(list)->child(0)->text(QAccessible::Name).section(QStringLiteral(", "), -1),
              QStringLiteral("https://newest.example/"));
}
