// Renders the advanced page in each update status, and the update windows, into
// screenshots/ in the build folder for a person to look at; checks the icon colours.
#include "Rendering.h"

#include "core/LoadingModel.h"
#include "core/SessionObservableObject.h"
#include "platform/StandardUserDriver.h"
#include "platform/UpdateFoundDialog.h"
#include "platform/UpdateProgressDialog.h"
#include "ui/ContentView.h"
#include "ui/Fonts.h"
#include "ui/MainView.h"
#include "ui/icons/FAText.h"
#include "ui/pages/AdvancedView.h"

#include "TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using UpdateStatus = SessionObservableObject::UpdateStatus;

QString screenshotPath(const QString& file)
{
    const QString folder = QStringLiteral(NORVANE_BINARY_DIR "/screenshots");
    EXPECT_TRUE(QDir().mkpath(folder));
    return folder + QLatin1Char('/') + file;
}

Bundle testBundle()
{
    const QString path = TestEnvironment::root() + QStringLiteral("/Shot.app");
    TestEnvironment::writeFile(path + QStringLiteral("/Contents/Info.plist"), R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>CFBundleName</key><string>Norvane</string>
<key>CFBundleShortVersionString</key><string>1.4.2</string>
</dict></plist>)");
    return Bundle(path);
}

} // namespace

TEST(AdvancedScreenshot, RendersThePageInEachUpdateStatus)
{
    Fonts::install();
    const struct
    {
        UpdateStatus status;
        const char* file;
    } shots[] = {{UpdateStatus::noUpdate, "advanced-up-to-date.png"},
                 {UpdateStatus::hasUpdate, "advanced-update-available.png"},
                 {UpdateStatus::error, "advanced-update-error.png"},
                 {UpdateStatus::inProgress, "advanced-checking.png"}};
    for (const auto& shot : shots) {
        SCOPED_TRACE(shot.file);
        SessionObservableObject session;
        LoadingModel loading;
        session.setIsLoggedIn(true);
        session.setSelectedMainPage(MainViewTabs::advanced);
        session.setUpdateStatus(shot.status);
        session.setLastUpdateTimeString(QStringLiteral("12/9/2026 2:40 PM"));
        session.setLastSyncTimeString(QStringLiteral("12/9/2026 2:38 PM"));
        ContentView view(&session, &loading);
        view.resize(1000, 700);
        const QImage image = Rendering::grab(&view);
        ASSERT_TRUE(image.save(screenshotPath(QString::fromLatin1(shot.file))));

        auto* page = view.findChild<AdvancedView*>();
        ASSERT_NE(page, nullptr);
        // The icon is drawn in its colour.
        FAText* icon = page->findChild<FAText*>(QStringLiteral("updateIcon"));
        const QImage iconImage = Rendering::renderTransparent(icon);
        const QColor colour = AdvancedView::updatePresentation(shot.status).iconColor;
        EXPECT_GT(Rendering::countPixels(iconImage, iconImage.rect(),
                                         [&](QRgb pixel) { return Rendering::near(pixel, colour, 8); }),
                  20);
    }
}

TEST(AdvancedScreenshot, RendersTheUpdateWindows)
{
    Fonts::install();
    StandardUserDriver driver(testBundle());
    AppcastItem item;
    item.versionString = QStringLiteral("2.0.0");
    item.displayVersionString = QStringLiteral("2.0");
    item.itemDescription = QStringLiteral(
        "<h3>Norvane 2.0</h3><ul><li>Updates are signed and checked before they are installed.</li>"
        "<li>The Advanced page shows when updates were last checked.</li><li>Fixes for the relaxed "
        "policy timer.</li></ul><p>Read more in the <a href=\"https://norvane.example/notes\">release "
        "notes</a>.</p>");
    driver.showUpdateFoundWithAppcastItem(item, {}, [](UpdateChoice) {});
    ASSERT_NE(driver.updateFoundDialog(), nullptr);
    driver.updateFoundDialog()->resize(560, 440);
    ASSERT_TRUE(Rendering::grab(driver.updateFoundDialog()).save(screenshotPath(QStringLiteral("update-found.png"))));

    driver.showDownloadInitiatedWithCancellation([] {});
    driver.showDownloadDidReceiveExpectedContentLength(52'428'800);
    driver.showDownloadDidReceiveDataOfLength(20'000'000);
    ASSERT_NE(driver.progressDialog(), nullptr);
    ASSERT_TRUE(Rendering::grab(driver.progressDialog()).save(screenshotPath(QStringLiteral("update-downloading.png"))));

    driver.showDownloadDidStartExtractingUpdate();
    driver.showExtractionReceivedProgress(0.6);
    ASSERT_TRUE(Rendering::grab(driver.progressDialog()).save(screenshotPath(QStringLiteral("update-extracting.png"))));

    driver.showReadyToInstallAndRelaunch([](UpdateChoice) {});
    ASSERT_TRUE(Rendering::grab(driver.progressDialog()).save(screenshotPath(QStringLiteral("update-ready.png"))));
}
