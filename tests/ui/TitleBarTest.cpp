#include "Rendering.h"

#include "core/LoadingModel.h"
#include "core/SessionObservableObject.h"
#include "platform/Bundle.h"
#include "platform/UserDefaults.h"
#include "ui/ContentView.h"
#include "ui/TitleBar.h"
#include "ui/icons/FAText.h"

#include "RecordingCommandRunner.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

// A bundle whose information dictionary holds the given keys, made the main bundle.
void useBundleWith(const QString& name, const QString& keys)
{
    const QString path = TestEnvironment::root() + QLatin1Char('/') + name + QStringLiteral(".app");
    TestEnvironment::writeFile(path + QStringLiteral("/Contents/Info.plist"),
                               (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                                               "<key>CFBundleIdentifier</key><string>org.example.test</string>") +
                                keys + QStringLiteral("</dict></plist>\n"))
                                   .toUtf8());
    Bundle::setMainBundlePath(path);
}

class TitleBarTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        recorder = std::make_shared<RecordingCommandRunner>();
        CommandRunner::setShared(recorder);
    }

    void open()
    {
        view = std::make_unique<ContentView>(&session, &loading);
        view->resize(1000, 700);
        view->show();
        QApplication::processEvents();
        bar = view->titleBar();
        bar->setTerminate([this](int status) {
            terminations.append(status);
            commandsAtTermination = recorder->commands().size();
        });
    }

    template <typename T> T* child(const char* name) const { return bar->findChild<T*>(QString::fromLatin1(name)); }

    std::shared_ptr<RecordingCommandRunner> recorder;
    SessionObservableObject session;
    LoadingModel loading;
    std::unique_ptr<ContentView> view;
    TitleBar* bar = nullptr;
    QList<int> terminations;
    qsizetype commandsAtTermination = -1;
};

} // namespace

TEST_F(TitleBarTest, TitleCarriesTheVersionWhenTheBundleHasOne)
{
    struct Case
    {
        const char* bundle;
        const char* keys;
        const char* title;
    };
    for (const Case& c :
         {Case{"Versioned", "<key>CFBundleShortVersionString</key><string>2.10.3</string>", "NORVANE - VERSION 2.10.3"},
          Case{"Unversioned", "", "NORVANE"},
          Case{"EmptyVersion", "<key>CFBundleShortVersionString</key><string></string>", "NORVANE"}}) {
        SCOPED_TRACE(c.bundle);
        useBundleWith(QString::fromLatin1(c.bundle), QString::fromLatin1(c.keys));
        open();
        ASSERT_NE(child<QLabel>("titleText"), nullptr);
        EXPECT_EQ(child<QLabel>("titleText")->text(), QString::fromLatin1(c.title));
    }
}

TEST_F(TitleBarTest, LaysOutTheItemsInOrderInWhiteOnThe30PixelBar)
{
    UserDefaults::standard().setString(QStringLiteral("userEmail"), QStringLiteral("kim@example.org"));
    open();
    EXPECT_EQ(bar->geometry(), QRect(0, 0, 1000, 30));
    QPushButton* close = child<QPushButton>("closeButton");
    auto* title = child<QLabel>("titleText");
    auto* email = child<QLabel>("userEmail");
    auto* user = child<FAText>("userIcon");
    auto* internet = child<QLabel>("internetLabel");
    FAText* indicator = child<FAText>("internetIndicator");
    ASSERT_TRUE(close && title && email && user && internet && indicator);
    EXPECT_EQ(close->x(), 8);
    EXPECT_LT(close->geometry().right(), title->x());
    EXPECT_LT(title->geometry().right(), email->x());
    EXPECT_LT(email->geometry().right(), user->x());
    EXPECT_LT(user->geometry().right(), internet->x());
    EXPECT_LT(internet->geometry().right(), indicator->x());
    // The spacer pushes the e-mail and the indicator to the right edge, padded by 8.
    EXPECT_EQ(indicator->geometry().right(), 1000 - 8 - 1);
    EXPECT_GT(email->x(), 500);
    EXPECT_EQ(email->text(), QStringLiteral("kim@example.org"));
    EXPECT_EQ(internet->text(), QStringLiteral("Internet"));
    EXPECT_EQ(user->iconName(), QStringLiteral("user"));
    EXPECT_EQ(user->iconSize(), 14);
    EXPECT_EQ(indicator->iconSize(), 16);
    for (QWidget* item : QList<QWidget*>{close, title, email, user, internet, indicator}) {
        EXPECT_EQ(item->geometry().center().y(), 14) << item->objectName().toStdString();
    }
    EXPECT_EQ(title->palette().color(title->foregroundRole()), QColor(Qt::white));
    EXPECT_EQ(indicator->palette().color(indicator->foregroundRole()), QColor(Qt::white));

    // The close icon is white at 80 % over the accent ground: lighter than the ground,
    // not fully white.
    const QImage image = Rendering::grab(bar);
    int brightest = 0;
    for (int y = close->y(); y <= close->geometry().bottom(); ++y)
        for (int x = close->x(); x <= close->geometry().right(); ++x)
            brightest = std::max(brightest, qRed(image.pixel(x, y)));
    EXPECT_GT(brightest, 200);
    EXPECT_LT(brightest, 255);
}

TEST_F(TitleBarTest, IndicatorFollowsTheInternetConnection)
{
    open();
    FAText* indicator = child<FAText>("internetIndicator");
    ASSERT_NE(indicator, nullptr);
    EXPECT_EQ(indicator->iconName(), QStringLiteral("check-circle"));
    const QImage connected = Rendering::grab(indicator);
    for (const bool online : {false, true, false}) {
        SCOPED_TRACE(online);
        session.setIsConnectedToInternet(online);
        EXPECT_EQ(indicator->iconName(), online ? QStringLiteral("check-circle") : QStringLiteral("times-circle"));
        EXPECT_TRUE(indicator->hasGlyph());
        EXPECT_EQ(Rendering::grab(indicator) == connected, online);
    }
}

TEST_F(TitleBarTest, EmailIsReadAgainWhenTheSessionChanges)
{
    open();
    auto* email = child<QLabel>("userEmail");
    EXPECT_EQ(email->text(), QString());
    // A sign-in stores the e-mail, then announces itself.
    UserDefaults::standard().setString(QStringLiteral("userEmail"), QStringLiteral("new@example.org"));
    session.setIsLoggedIn(true);
    EXPECT_EQ(email->text(), QStringLiteral("new@example.org"));
    UserDefaults::standard().remove(QStringLiteral("userEmail"));
    session.setSyncStatus(SessionObservableObject::SyncStatus::inProgress);
    EXPECT_EQ(email->text(), QString());
}

TEST_F(TitleBarTest, CloseWhileSignedInHidesTheWindowAndKeepsRunning)
{
    UserDefaults::standard().setString(QStringLiteral("authToken"), QStringLiteral("token"));
    session.setIsLoggedIn(true);
    open();
    QTest::mouseClick(child<QPushButton>("closeButton"), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_FALSE(view->isVisible());
    EXPECT_TRUE(terminations.isEmpty());
    EXPECT_TRUE(recorder->commands().isEmpty());
}

TEST_F(TitleBarTest, CloseWhileSignedOutStopsTheLaunchAgentThenExitsWithStatusZero)
{
    open();
    QTest::mouseClick(child<QPushButton>("closeButton"), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(terminations, QList<int>{0});
    const QStringList commands = recorder->commands();
    ASSERT_EQ(commands.size(), 3);
    EXPECT_EQ(commands.first(), QStringLiteral("launchctl unload -w /Library/LaunchAgents/launch_nrvm.plist"));
    EXPECT_EQ(commandsAtTermination, 3) << "the agent is stopped before the process ends";
    EXPECT_TRUE(view->isVisible());
}
