#include "Rendering.h"

#include "core/LoadingModel.h"
#include "core/SessionObservableObject.h"
#include "ui/ContentView.h"
#include "ui/Fonts.h"
#include "ui/components/LoadingView.h"
#include "ui/styles/Styles.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct Shot
{
    const char* file;
    bool signedIn;
    bool busy;
};

QString screenshotPath(const char* file)
{
    const QString folder = QStringLiteral(NORVANE_BINARY_DIR "/screenshots");
    EXPECT_TRUE(QDir().mkpath(folder));
    return folder + QLatin1Char('/') + QString::fromLatin1(file);
}

} // namespace

// Writes the window content at the window's size into screenshots/ in the build folder,
// for a person to look at.
TEST(ContentViewScreenshot, RendersSignedOutSignedInAndBusy)
{
    Fonts::install();
    for (const Shot& shot :
         {Shot{"content-signed-out.png", false, false}, Shot{"content-signed-in.png", true, false},
          Shot{"content-busy.png", true, true}}) {
        SCOPED_TRACE(shot.file);
        SessionObservableObject session;
        LoadingModel loading;
        session.setIsLoggedIn(shot.signedIn);
        loading.setIsLoading(shot.busy);
        ContentView view(&session, &loading);
        view.resize(1000, 700);

        QImage image = Rendering::grab(&view);
        if (!shot.signedIn) {
            // The sign-in page polls once as it appears; its answer (none: no server) clears
            // the busy flag.
            ASSERT_TRUE(QTest::qWaitFor([&] { return !loading.isLoading(); }, 15000));
            image = Rendering::grab(&view);
        }
        ASSERT_EQ(image.size(), QSize(1000, 700));
        EXPECT_EQ(LoadingView::over(view.pageArea()) != nullptr, shot.busy);
        const QString path = screenshotPath(shot.file);
        ASSERT_TRUE(image.save(path));
        EXPECT_EQ(QImage(path).size(), QSize(1000, 700));
    }
}

TEST(ContentViewScreenshot, RendersTheRebootAlert)
{
    Fonts::install();
    SessionObservableObject session;
    LoadingModel loading;
    ContentView view(&session, &loading);
    view.setRestartComputer([] {});
    view.resize(1000, 700);
    view.show();
    session.setShouldRequestReboot(true);
    QApplication::processEvents();
    ASSERT_NE(view.rebootAlert(), nullptr);

    const QImage image = Rendering::grab(view.rebootAlert());
    const QString path = screenshotPath("content-reboot-alert.png");
    ASSERT_TRUE(image.save(path));
    EXPECT_FALSE(QImage(path).isNull());
}
