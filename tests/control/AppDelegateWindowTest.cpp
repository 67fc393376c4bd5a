// The delegate's window on a desktop without a tray (offscreen has none): where the window
// starts, what closing it does, how "Open", a second start and the status menu reach it.
#include "control/AppDelegate.h"
#include "control/NvWinow.h"
#include "core/SessionData.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// A content with a text field, standing in for the sign-in page.
void useFieldContent()
{
    AppDelegate::setContentFactory([](SessionObservableObject*, LoadingModel*) -> QWidget* {
        auto* content = new QWidget;
        content->setMinimumSize(1000, 600);
        auto* field = new QLineEdit(content);
        field->setObjectName(QStringLiteral("field"));
        return content;
    });
}

} // namespace

TEST(AppDelegateWindow, SignedOutTheWindowStartsCentredInFrontAndClosingMinimisesItWithoutATray)
{
    useFieldContent();
    AppDelegate delegate;
    delegate.setupWindow();
    delegate.buildStatusMenu();
    NvWinow* window = delegate.window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->size(), QSize(1000, 700));
    EXPECT_EQ(window->geometry().center(), window->screen()->availableGeometry().center());
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));

    // No tray: the window offers the status menu itself, on a secondary click anywhere
    // nothing else takes it (here the content's empty ground).
    EXPECT_EQ(window->fallbackMenu(), delegate.statusMenu());
    QWidget* ground = window->findChild<QLineEdit*>(QStringLiteral("field"))->parentWidget();
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(500, 300), ground->mapToGlobal(QPoint(500, 300)));
    QApplication::sendEvent(ground, &click);
    EXPECT_TRUE(delegate.statusMenu()->isVisible());
    delegate.statusMenu()->close();

    // Closing asks the delegate, which keeps the window and puts it out of the way.
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isMinimized());
    delegate.showWindow();
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
}

TEST(AppDelegateWindow, ASecondStartBringsTheWindowForwardWithTheKeyboardFocus)
{
    useFieldContent();
    UserDefaults::standard().setString(SessionData::authTokenKey, QStringLiteral("token"));
    AppDelegate delegate;
    delegate.setupWindow();
    NvWinow* window = delegate.window();
    window->hide();
    ASSERT_FALSE(window->isVisible());

    emit Workspace::shared().reopenRequested();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    EXPECT_EQ(QApplication::focusWidget(), window->findChild<QLineEdit*>(QStringLiteral("field")));
}
