// The window through the accessibility bus (AT-SPI), as screen readers use it: the real
// program on a virtual display with a private session bus, driven by atspi_driver.py.
#include "DesktopFixture.h"

#include "FilterExtensionPeer.h"
#include "ManagementServerPeer.h"

#include <QFileInfo>
#include <QProcess>

namespace {

const QString systemPython = QStringLiteral("/usr/bin/python3");

class AccessibilityBusTest : public DesktopFixture
{
protected:
    // One step of the driver; its output when it fails.
    ::testing::AssertionResult drive(qint64 pid, const QString& step, const QStringList& arguments)
    {
        QProcess driver;
        driver.setProcessEnvironment(session.environment());
        driver.setProcessChannelMode(QProcess::MergedChannels);
        driver.start(systemPython, QStringList{QStringLiteral(NORVANE_SOURCE_DIR "/tests/integration/atspi_driver.py"),
                                               QString::number(pid), step} + arguments);
        if (!driver.waitForFinished(120000)) {
            driver.terminate();
            driver.waitForFinished(10000);
            return ::testing::AssertionFailure() << step.toStdString() << " did not finish";
        }
        const QString output = QString::fromUtf8(driver.readAll());
        if (driver.exitStatus() != QProcess::NormalExit || driver.exitCode() != 0)
            return ::testing::AssertionFailure() << step.toStdString() << ": " << output.toStdString();
        return ::testing::AssertionSuccess();
    }
};

} // namespace

TEST_F(AccessibilityBusTest, SignInSidebarAndBlockHistoryThroughTheAccessibilityBus)
{
    if (!QFileInfo(systemPython).isExecutable() || !QFileInfo::exists(QStringLiteral("/usr/libexec/at-spi-bus-launcher")))
        GTEST_SKIP() << "needs python3 with gir1.2-atspi-2.0 and at-spi2-core, which are not installed";
    {
        QProcess probe;
        probe.start(systemPython, {QStringLiteral("-c"), QStringLiteral("import gi; gi.require_version('Atspi', '2.0')")});
        if (!probe.waitForFinished(30000) || probe.exitCode() != 0)
            GTEST_SKIP() << "needs python3-gi and gir1.2-atspi-2.0, which are not installed";
    }
    ManagementServerPeer server;
    ASSERT_TRUE(server.isRunning());
    const QString wrongPassword = QStringLiteral("Wrong password for demo@norvane.org & co.");
    ManagementServerPeer::Answer refused;
    refused.status = 401;
    refused.body = wrongPassword.toUtf8();
    ASSERT_TRUE(server.script(QStringLiteral("user/gettoken"), refused, true));

    QProcessEnvironment accessible;
    accessible.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    auto app = startApp(accessible);
    ASSERT_TRUE(app->isRunning());

    EXPECT_TRUE(drive(app->processId(), QStringLiteral("sign-in"),
                      {QString::fromLatin1(ManagementServerPeer::demoEmail), QStringLiteral("wrong"),
                       QString::fromLatin1(ManagementServerPeer::demoPassword), wrongPassword}))
        << app->output().toStdString();

    // Signed in, the program starts the extension and registers on the link; the extension
    // then reports two blocked requests, the newer one listed first.
    ASSERT_TRUE(RunningApp::waitForLogEntry(QStringLiteral("gui"), QStringLiteral("Gui client registered in IPC"), 1, 30000));
    FilterExtensionPeer extension;
    ASSERT_TRUE(extension.attach());
    ASSERT_TRUE(extension.sendUrlBlocked(QStringLiteral("https://older.example/"), QStringLiteral("Gambling"), QString()));
    ASSERT_TRUE(extension.sendUrlBlocked(QStringLiteral("https://newer.example/page"), QStringLiteral("Adult & Mature"), QString()));
    EXPECT_TRUE(drive(app->processId(), QStringLiteral("history"),
                      {QStringLiteral("Adult & Mature|https://newer.example/page"), QStringLiteral("Gambling|https://older.example/")}));
}
