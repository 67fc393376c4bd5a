#include "control/GuiAppMonitor.h"

#include "core/Log.h"
#include "RecordingCommandRunner.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

const QString statCommand = QStringLiteral("stat -f '%u %Su' /dev/console");

std::shared_ptr<RecordingCommandRunner> installRecorder()
{
    auto recorder = std::make_shared<RecordingCommandRunner>();
    CommandRunner::setShared(recorder);
    return recorder;
}

QString logText()
{
    return TestEnvironment::readFile(Log::shared().currentFilePath());
}

} // namespace

TEST(GuiAppMonitor, SetupEnablesAndBootstrapsForTheConsoleUser)
{
    auto recorder = installRecorder();
    recorder->answer(statCommand, QStringLiteral("501 alice\n"));
    recorder->answer(QStringLiteral("id -u 'alice'"), QStringLiteral("501\n"));
    GuiAppMonitor::setupLaunchCtl();
    EXPECT_EQ(recorder->commands(),
              (QStringList{statCommand, QStringLiteral("id -u 'alice'"),
                           QStringLiteral("launchctl enable gui/501/org.norvane.filter.mac && launchctl bootstrap "
                                          "gui/501 /Library/LaunchAgents/launch_nrvm.plist")}));
    EXPECT_TRUE(logText().contains(QStringLiteral("]: GuiAppMonitor setupLaunchCtl\n")));
    EXPECT_TRUE(logText().contains(QStringLiteral("NVAppProxyProvider runConsoleCommand id -u 'alice' 501\n")));
}

TEST(GuiAppMonitor, NoConsoleUserOrNoIdSkipsTheSetup)
{
    struct Case
    {
        QString statOutput;
        QString idOutput;
        bool logsMissingUser;
    };
    for (const Case& c : {Case{QStringLiteral("0\n"), {}, true}, Case{QString(), {}, true},
                          Case{QStringLiteral("501 bob\n"), QStringLiteral("id: 'bob': no such user\n"), false},
                          Case{QStringLiteral("501 bob\n"), QString(), false}}) {
        auto recorder = installRecorder();
        recorder->answer(statCommand, c.statOutput);
        recorder->answer(QStringLiteral("id -u 'bob'"), c.idOutput);
        const qsizetype logged = logText().size();
        GuiAppMonitor::setupLaunchCtl();
        const QString newLines = logText().mid(logged);
        for (const QString& command : recorder->commands())
            EXPECT_FALSE(command.startsWith(QStringLiteral("launchctl"))) << command.toStdString();
        EXPECT_EQ(newLines.contains(QStringLiteral("GuiAppMonitor getCurrentUserSession can't get user id")),
                  c.logsMissingUser);
        EXPECT_FALSE(newLines.contains(QStringLiteral("GuiAppMonitor setupLaunchCtl")));
    }
}

TEST(GuiAppMonitor, HostileConsoleNameIsOneQuotedWord)
{
    auto recorder = installRecorder();
    recorder->answer(statCommand, QStringLiteral("501 o'neil$(reboot)\n"));
    GuiAppMonitor::setupLaunchCtl();
    ASSERT_GE(recorder->commands().size(), 2);
    EXPECT_EQ(recorder->commands().at(1), QStringLiteral("id -u 'o'\\''neil$(reboot)'"));
}

TEST(GuiAppMonitor, StopRunsAllThreeCommandsInOrder)
{
    auto recorder = installRecorder();
    GuiAppMonitor::stopLaunchCtl();
    const QStringList commands = recorder->commands();
    ASSERT_EQ(commands.size(), 3);
    EXPECT_EQ(commands.at(0), QStringLiteral("launchctl unload -w /Library/LaunchAgents/launch_nrvm.plist"));
    EXPECT_TRUE(commands.at(1).startsWith(QStringLiteral("dscl . -list /Users UniqueID | grep -v \"^_\" | awk '$2>1")));
    EXPECT_TRUE(commands.at(1).contains(QStringLiteral("launchctl bootout gui/")));
    EXPECT_TRUE(commands.at(1).endsWith(QStringLiteral("/org.norvane.filter.mac\"}'  | xargs -I{} bash -c \"{}\"")));
    EXPECT_EQ(QString(commands.at(2)).replace(QStringLiteral("disable"), QStringLiteral("bootout")), commands.at(1));
    EXPECT_TRUE(logText().contains(QStringLiteral("]: GuiAppMonitor stopLaunchCtl\n")));
}

// The real pipeline, with stand-ins for dscl, sudo and launchctl on PATH: real accounts get
// their agent booted out; a crafted account name runs nothing.
TEST(GuiAppMonitor, StopPipelineIgnoresCraftedAccountNames)
{
    CommandRunner::setShared(std::make_shared<BashCommandRunner>());
    const QString bin = TestEnvironment::root() + QStringLiteral("/bin");
    const QString calls = TestEnvironment::root() + QStringLiteral("/calls");
    const QString pwned = TestEnvironment::root() + QStringLiteral("/pwned");
    TestEnvironment::writeFile(bin + QStringLiteral("/dscl"),
                               QStringLiteral("#!/bin/sh\nprintf '%s\\n' '_www 70' 'root 0' 'alice 501' "
                                              "'x$(touch${IFS}%1) 502' 'y`touch${IFS}%1` 503'\n")
                                   .arg(pwned)
                                   .toUtf8());
    TestEnvironment::writeFile(bin + QStringLiteral("/sudo"),
                               QStringLiteral("#!/bin/sh\necho \"$*\" >> %1\n").arg(calls).toUtf8());
    TestEnvironment::writeFile(bin + QStringLiteral("/launchctl"), "#!/bin/sh\nexit 0\n");
    for (const QString& tool : {QStringLiteral("dscl"), QStringLiteral("sudo"), QStringLiteral("launchctl")})
        QFile::setPermissions(bin + QLatin1Char('/') + tool, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    qputenv("PATH", (bin + QLatin1Char(':') + qEnvironmentVariable("PATH")).toUtf8());

    GuiAppMonitor::stopLaunchCtl();

    EXPECT_EQ(TestEnvironment::readFile(calls),
              QStringLiteral("-u alice launchctl bootout gui/501/org.norvane.filter.mac\n"
                             "-u alice launchctl disable gui/501/org.norvane.filter.mac\n"));
    EXPECT_FALSE(QFile::exists(pwned));
}
