// The real program installs the extension's root certificate into the user's NSS database
// when the filter-extension stand-in asks for it, and answers InstallRootCertFinished.
#include "RunningApp.h"

#include "core/SessionData.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"

#include "FilterExtensionPeer.h"
#include "ManagementServerPeer.h"
#include "NssDatabaseTool.h"
#include "TestEnvironment.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSslCertificate>

#include <csignal>
#include <gtest/gtest.h>

namespace {
constexpr int userDataSyncId = 3;
constexpr int installRootCertFinishedId = 7;
const QString label = QStringLiteral("Norvane Filtering Certificate");

class RootCertificateInstallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        UserDefaults(Paths::configDirectory() + QStringLiteral("/user-defaults.json"))
            .setString(SessionData::authTokenKey, QStringLiteral("demo-token-0001"));
        app = std::make_unique<RunningApp>();
        ASSERT_TRUE(StartedExtension::waitForProcess()) << app->output().toStdString();
        ASSERT_TRUE(RunningApp::waitForLogEntry(QStringLiteral("gui"), QStringLiteral("Gui client registered in IPC")))
            << app->output().toStdString();
        ASSERT_TRUE(extension.attach());
        // The program asks for the user data once its handlers are in place.
        ASSERT_TRUE(extension.waitForReceived(1, userDataSyncId, std::chrono::milliseconds(20000)).has_value())
            << app->output().toStdString();
        extension.received(true);
    }
    void TearDown() override
    {
        app.reset();
        // The extension outlives the program, as a system extension does.
        StartedExtension::kill(SIGKILL);
    }

    // What the program and the extension logged, for a failure's message.
    QString diagnostics()
    {
        const auto peerLog = extension.command(QJsonObject{{QStringLiteral("cmd"), QStringLiteral("log")}});
        return TestEnvironment::readFile(RunningApp::logPath(QStringLiteral("gui"))) +
               QStringLiteral("\n--- extension ---\n") +
               QString::fromUtf8(QJsonDocument(peerLog.value_or(QJsonObject())).toJson());
    }

    ManagementServerPeer server;
    std::unique_ptr<RunningApp> app;
    FilterExtensionPeer extension;
};
} // namespace

TEST_F(RootCertificateInstallTest, TheExtensionsCertificateIsInstalledTrustedAndAnswered)
{
    const QString pem = extension.certificatePem();
    ASSERT_FALSE(pem.isEmpty());
    const QString pemPath = TestEnvironment::root() + QStringLiteral("/extension-root.pem");
    TestEnvironment::writeFile(pemPath, pem.toUtf8());

    ASSERT_TRUE(extension.sendInstallRootCertFailed(pemPath));
    const auto answers = extension.waitForReceived(1, installRootCertFinishedId, std::chrono::milliseconds(20000));
    ASSERT_TRUE(answers.has_value()) << diagnostics().toStdString();
    EXPECT_EQ(NssDatabaseTool::list(), (QMap<QString, QString>{{label, QStringLiteral("CT,C,C")}}));
    EXPECT_EQ(NssDatabaseTool::certificates(label),
              QList<QByteArray>{QSslCertificate(pem.toUtf8(), QSsl::Pem).toDer()});
    EXPECT_EQ(RunningApp::countLogEntries(QStringLiteral("gui"), QStringLiteral("Install root certificate trust success with status 0")), 1);

    // Asked again for the same certificate: left as it is, and answered all the same.
    ASSERT_TRUE(extension.sendInstallRootCertFailed(pemPath));
    ASSERT_TRUE(extension.waitForReceived(2, installRootCertFinishedId, std::chrono::milliseconds(20000)).has_value());
    EXPECT_EQ(RunningApp::countLogEntries(QStringLiteral("gui"), QStringLiteral("Old and new certirifate matching: true")), 1);
    EXPECT_EQ(NssDatabaseTool::list(), (QMap<QString, QString>{{label, QStringLiteral("CT,C,C")}}));
    EXPECT_TRUE(app->isRunning());
}

TEST_F(RootCertificateInstallTest, WithoutACertificateTheSharedFileIsTriedAndTheRequestAnswered)
{
    ASSERT_TRUE(extension.sendInstallRootCertFailed());
    ASSERT_TRUE(extension.waitForReceived(1, installRootCertFinishedId, std::chrono::milliseconds(20000)).has_value())
        << diagnostics().toStdString();
    EXPECT_EQ(RunningApp::countLogEntries(QStringLiteral("gui"), QStringLiteral("Trying shared path")), 1);
    EXPECT_EQ(RunningApp::countLogEntries(QStringLiteral("gui"),
                                          QStringLiteral("Install root certificate ERROR can't read shared cert "
                                                         "/usr/local/share/nrvm/nrvmcert.pem.")),
              1);
    EXPECT_FALSE(NssDatabaseTool::list().value_or(QMap<QString, QString>{}).contains(label));
    EXPECT_TRUE(app->isRunning());
}
