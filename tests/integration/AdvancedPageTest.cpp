// The advanced page of the real program, used through the accessibility bus on a virtual
// display: the deactivation request against the management-server stand-in, first still
// pending on the server, then approved, which ends the program the way quitting does.
#include "AccessibleDriver.h"
#include "RunningApp.h"

#include "core/SessionData.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"

#include "FilterExtensionPeer.h"
#include "ManagementServerPeer.h"

#include <QTest>

#include <csignal>
#include <gtest/gtest.h>

namespace {

QString storedToken()
{
    return UserDefaults(Paths::configDirectory() + QStringLiteral("/user-defaults.json"))
        .string(SessionData::authTokenKey)
        .value_or(QStringLiteral("<absent>"));
}

ManagementServerPeer::Answer reply(int status, const QByteArray& body)
{
    ManagementServerPeer::Answer answer;
    answer.status = status;
    answer.body = body;
    return answer;
}

} // namespace

TEST(AdvancedPage, DeactivationWaitsForApprovalThenStopsTheFilterAndEndsTheProgram)
{
    ManagementServerPeer server;
    ASSERT_TRUE(server.isRunning());
    DesktopSession desktop;
    ASSERT_TRUE(desktop.start()) << desktop.error().toStdString();
    UserDefaults(Paths::configDirectory() + QStringLiteral("/user-defaults.json"))
        .setString(SessionData::authTokenKey, QString::fromLatin1(ManagementServerPeer::demoToken));

    RunningApp app(AccessibleDriver::environment(desktop));
    ASSERT_TRUE(StartedExtension::waitForProcess()) << app.output().toStdString();
    const auto extensionPid = StartedExtension::processId();
    ASSERT_TRUE(RunningApp::waitForLogEntry(QStringLiteral("gui"), QStringLiteral("Gui client registered in IPC")));
    FilterExtensionPeer extension;
    ASSERT_TRUE(extension.attach());

    ASSERT_TRUE(AccessibleDriver::selectSidebarEntry(desktop, app.processId(), QStringLiteral("Advanced")))
        << AccessibleDriver::lastError().toStdString() << AccessibleDriver::dump(desktop, app.processId()).toStdString();

    // Not approved yet: the stand-in's own answer is 403.
    ASSERT_TRUE(AccessibleDriver::press(desktop, app.processId(), QStringLiteral("deactivate")))
        << AccessibleDriver::lastError().toStdString();
    ASSERT_TRUE(AccessibleDriver::waitForNameContaining(desktop, app.processId(), QStringLiteral("label"),
                                              QStringLiteral("approval is still pending")))
        << AccessibleDriver::dump(desktop, app.processId()).toStdString();
    ASSERT_TRUE(AccessibleDriver::press(desktop, app.processId(), QStringLiteral("OK")));
    EXPECT_EQ(storedToken(), QString::fromLatin1(ManagementServerPeer::demoToken));
    EXPECT_TRUE(app.isRunning());

    // Approved: the token goes, the extension is told and stopped, the program ends with 0.
    ASSERT_TRUE(server.script(QStringLiteral("me/deactivate"), reply(200, "approved")));
    ASSERT_TRUE(AccessibleDriver::press(desktop, app.processId(), QStringLiteral("deactivate")));
    EXPECT_EQ(app.waitForExit(30000), 0) << app.output().toStdString();
    EXPECT_EQ(storedToken(), QString());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !StartedExtension::isRunning(*extensionPid); }, 15000));
    EXPECT_EQ(server.requests(QStringLiteral("me/deactivate")).size(), 2);
    StartedExtension::kill(SIGKILL);
}
