#include "platform/StatusItem.h"

#include "PlatformTestSupport.h"

#include <QMenu>

#include <gtest/gtest.h>

using namespace PlatformTest;

TEST(StatusItem, ImageMenuAndMode)
{
    DiagnosticsCapture diagnostics;
    StatusItem item;
    EXPECT_EQ(item.menu()->title(), QStringLiteral("NV StatusBar Menu"));
    ASSERT_TRUE(item.setImage(QStringLiteral("StatusIcon")));
    EXPECT_FALSE(item.image().isNull());
    EXPECT_EQ(item.image().availableSizes().value(0), QSize(22, 22));
    EXPECT_FALSE(item.setImage(QStringLiteral("NoSuchImage")));
    EXPECT_FALSE(item.image().isNull());

    // Offscreen there is no tray, whatever the session bus offers: the window must stay
    // reachable.
    EXPECT_EQ(item.mode(), StatusItem::Mode::window);
    EXPECT_EQ(item.hideStyle(), Workspace::HideStyle::minimize);
    EXPECT_EQ(diagnostics.count(QStringLiteral("Status item: no system tray")), 1);
    EXPECT_EQ(diagnostics.count(QStringLiteral("Status item:")), 2);

    QMenu other;
    item.setMenu(&other);
    EXPECT_EQ(item.menu(), &other);
    item.setMenu(nullptr);
    EXPECT_EQ(item.menu()->title(), QStringLiteral("NV StatusBar Menu"));
}
