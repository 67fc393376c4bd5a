#include "Rendering.h"

#include "control/AppDelegate.h"
#include "core/LoadingModel.h"
#include "platform/Bundle.h"
#include "platform/UserDefaults.h"
#include "ui/ContentView.h"
#include "ui/Fonts.h"
#include "ui/pages/FilterTestRow.h"
#include "ui/pages/FilterTestView.h"
#include "ui/pages/HelpAndSupportView.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QString screenshotPath(const char* file)
{
    const QString folder = QStringLiteral(NORVANE_BINARY_DIR "/screenshots");
    EXPECT_TRUE(QDir().mkpath(folder));
    return folder + QLatin1Char('/') + QString::fromLatin1(file);
}

void saveShot(QWidget* widget, const char* file, const QSize& size)
{
    const QImage image = Rendering::grab(widget);
    ASSERT_EQ(image.size(), size);
    ASSERT_TRUE(image.save(screenshotPath(file)));
}

class SupportPagesScreenshot : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Fonts::install();
        Bundle::setMainBundlePath(QStringLiteral(NORVANE_TEST_BUNDLE_DIR));
        UserDefaults::standard().setString(QStringLiteral("userEmail"),
                                           QStringLiteral("demo@norvane.example"));
        UserDefaults::standard().setString(QStringLiteral("authToken"), QStringLiteral("demo-token"));
        delegate.sessionModel()->setIsLoggedIn(true);
        view = std::make_unique<ContentView>(delegate.sessionModel(), &loading);
        view->resize(1000, 700);
        view->show();
    }

    template <typename Page> Page* showPage(MainViewTabs tab, const char* name)
    {
        delegate.sessionModel()->setSelectedMainPage(tab);
        QApplication::processEvents();
        return view->findChild<Page*>(QLatin1String(name));
    }

    AppDelegate delegate;
    LoadingModel loading;
    std::unique_ptr<ContentView> view;
};

} // namespace

// The two pages in the signed-in window, with results and content, into screenshots/ in
// the build folder for a person to look at.
TEST_F(SupportPagesScreenshot, FilterTestsWithResultsAndTheirDetails)
{
    // Google and YouTube agree, Bing's strict host does not resolve.
    qputenv("NORVANE_BING_STRICT_HOST", QByteArray(64, 'x') + ".invalid");
    auto* page = showPage<FilterTestView>(MainViewTabs::filterTest, "FilterTestView");
    ASSERT_NE(page, nullptr);
    QTest::mouseClick(page->testSafeSearchButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->rows().size() == 3; }, 20000));
    saveShot(view.get(), "filter-tests.png", QSize(1000, 700));

    QTest::mouseClick(page->rows().at(1)->detailsButton(), Qt::LeftButton);
    ASSERT_NE(page->alert(), nullptr);
    EXPECT_EQ(page->alert()->informativeText(), QStringLiteral("Bing safe search is not enabled."));
    saveShot(page->alert(), "filter-tests-details.png", page->alert()->size());
}

TEST_F(SupportPagesScreenshot, HelpAndSupport)
{
    auto* page = showPage<HelpAndSupportView>(MainViewTabs::helpAndSupport, "HelpAndSupportView");
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->activationIdentifierButton()->isVisible());
    saveShot(view.get(), "help-and-support.png", QSize(1000, 700));
}
