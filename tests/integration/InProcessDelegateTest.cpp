// The application delegate in this process against the real extension stand-in, where the
// status menu and the window can be looked at directly.
#include "RunningApp.h"

#include "control/AppDelegate.h"
#include "core/SessionData.h"
#include "platform/Bundle.h"
#include "platform/UserDefaults.h"

#include "ManagementServerPeer.h"

#include <QLabel>
#include <QMenu>
#include <QTest>

#include <csignal>
#include <gtest/gtest.h>

TEST(InProcessDelegate, UserDataFromTheExtensionAddsTheDebugItem)
{
    ManagementServerPeer server;
    Bundle::setMainBundlePath(QStringLiteral(NORVANE_TEST_BUNDLE_DIR));
    UserDefaults::standard().setString(SessionData::authTokenKey, QStringLiteral("demo-token-0001"));
    AppDelegate::setContentFactory([](SessionObservableObject*, LoadingModel*) -> QWidget* {
        auto* content = new QLabel(QStringLiteral("content"));
        content->setObjectName(QStringLiteral("content"));
        return content;
    });
    AppDelegate::Timing timing;
    timing.firstSupervision = std::chrono::milliseconds(300);
    timing.supervisionInterval = std::chrono::milliseconds(500);
    {
        AppDelegate delegate(timing);
        ASSERT_TRUE(delegate.applicationDidFinishLaunching());
        EXPECT_EQ(AppDelegate::current(), &delegate);
        ASSERT_NE(delegate.window(), nullptr);
        EXPECT_EQ(delegate.window()->size(), QSize(1000, 700));
        EXPECT_NE(delegate.window()->findChild<QLabel*>(QStringLiteral("content")), nullptr);
        EXPECT_EQ(delegate.statusMenu()->actions().size(), 4);
        // The extension's demo session turns the debug flag on.
        EXPECT_TRUE(QTest::qWaitFor([&] { return delegate.statusMenu()->actions().size() == 5; }, 20000));
        EXPECT_EQ(delegate.statusMenu()->actions().last()->text(), QStringLiteral("Quit (TEST ONLY)"));
        EXPECT_TRUE(delegate.sessionModel()->isLoggedIn());
    }
    StartedExtension::terminate();
}
