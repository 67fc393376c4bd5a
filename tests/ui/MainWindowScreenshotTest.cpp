#include "Rendering.h"

#include "control/AppDelegate.h"
#include "core/LoadingModel.h"
#include "core/SessionObservableObject.h"
#include "platform/Bundle.h"
#include "platform/UserDefaults.h"
#include "ui/ContentView.h"
#include "ui/Fonts.h"
#include "ui/pages/BlockHistoryRow.h"
#include "ui/pages/BlockHistoryView.h"
#include "ui/sidebar/SidebarView.h"

#include <QApplication>
#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QString screenshotPath(const char* file)
{
    const QString folder = QStringLiteral(NORVANE_BINARY_DIR "/screenshots");
    EXPECT_TRUE(QDir().mkpath(folder));
    return folder + QLatin1Char('/') + QString::fromLatin1(file);
}

void saveShot(QWidget* view, const char* file)
{
    const QImage image = Rendering::grab(view);
    ASSERT_EQ(image.size(), QSize(1000, 700));
    const QString path = screenshotPath(file);
    ASSERT_TRUE(image.save(path));
    EXPECT_EQ(QImage(path).size(), QSize(1000, 700));
}

} // namespace

// The signed-in window with the sidebar, then the block history holding a few requests
// with one selected, into screenshots/ in the build folder for a person to look at.
TEST(MainWindowScreenshot, RendersTheSignedInWindowAndTheBlockHistory)
{
    Fonts::install();
    Bundle::setMainBundlePath(QStringLiteral(NORVANE_TEST_BUNDLE_DIR));
    UserDefaults::standard().setString(QStringLiteral("userEmail"), QStringLiteral("demo@norvane.example"));
    UserDefaults::standard().setString(QStringLiteral("authToken"), QStringLiteral("demo-token"));
    AppDelegate delegate;
    LoadingModel loading;
    delegate.sessionModel()->setIsLoggedIn(true);
    ContentView view(delegate.sessionModel(), &loading);
    view.resize(1000, 700);
    saveShot(&view, "main-window.png");

    delegate.addBlockedUrl(QStringLiteral("https://casino.example/play"), QStringLiteral("Gambling"), QString());
    delegate.addBlockedUrl(QStringLiteral("https://ads.tracker.example/pixel.gif"), QStringLiteral("Ads & Trackers"),
                           QString());
    delegate.addBlockedUrl(QStringLiteral("https://forum.example/thread/42"), QStringLiteral("Adult Content"),
                           QStringLiteral("explicit"));
    delegate.addBlockedUrl(QStringLiteral("https://proxy.example/"), QStringLiteral("Proxy"), QString());
    QApplication::processEvents();
    auto* history = view.findChild<BlockHistoryView*>(QStringLiteral("BlockHistoryView"));
    ASSERT_NE(history, nullptr);
    ASSERT_EQ(history->rows().size(), 4);
    QTest::mouseClick(history->rows().at(1), Qt::LeftButton);
    ASSERT_TRUE(history->rows().at(1)->isSelected());
    saveShot(&view, "block-history.png");
}
