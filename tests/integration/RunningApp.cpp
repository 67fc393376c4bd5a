#include "RunningApp.h"

#include "LogEntries.h"
#include "platform/Deployment.h"
#include "platform/Paths.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <csignal>
#include <gtest/gtest.h>

RunningApp::RunningApp(const QProcessEnvironment& extra, const QString& executable)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("NORVANE_FIRST_SUPERVISION_MS"), QStringLiteral("300"));
    environment.insert(QStringLiteral("NORVANE_SUPERVISION_INTERVAL_MS"), QStringLiteral("500"));
    environment.insert(extra);
    m_process.setProcessEnvironment(environment);
    m_process.setChannels(ChildProcess::Channels::merged);
    m_process.start(executable, {});
}

RunningApp::~RunningApp()
{
    if (m_process.state() != ChildProcess::NotRunning)
        terminate();
}

std::optional<int> RunningApp::terminate()
{
    if (m_process.state() != ChildProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(stopTimeoutMs)) {
            ADD_FAILURE() << "the program did not end within " << stopTimeoutMs << " ms of SIGTERM\n"
                          << output().toStdString();
            m_process.kill();
            m_process.waitForFinished(stopTimeoutMs);
            return std::nullopt;
        }
    }
    if (m_process.exitStatus() != ChildProcess::NormalExit)
        return std::nullopt;
    return m_process.exitCode();
}

bool RunningApp::isRunning() const
{
    return m_process.state() == ChildProcess::Running;
}

std::optional<int> RunningApp::waitForExit(int milliseconds)
{
    if (m_process.state() != ChildProcess::NotRunning && !m_process.waitForFinished(milliseconds))
        return std::nullopt;
    if (m_process.exitStatus() != ChildProcess::NormalExit)
        return std::nullopt;
    return m_process.exitCode();
}

QString RunningApp::output() const
{
    m_output += m_process.readAll();
    return QString::fromUtf8(m_output);
}

QString RunningApp::executablePath()
{
    return QStringLiteral(NORVANE_TEST_BUNDLE_DIR "/Contents/MacOS/Norvane");
}

QString RunningApp::logPath(const QString& name)
{
    return Paths::libraryDirectory() + QStringLiteral("/Logs/") + name + QStringLiteral("-0.log");
}

int RunningApp::countLogEntries(const QString& name, const QString& text)
{
    const QStringList entries = LogEntries::read(logPath(name));
    return static_cast<int>(std::count_if(entries.cbegin(), entries.cend(),
                                          [&](const QString& entry) { return entry.contains(text); }));
}

bool RunningApp::waitForLogEntry(const QString& name, const QString& text, int count, int milliseconds)
{
    return QTest::qWaitFor([&] { return countLogEntries(name, text) >= count; }, milliseconds);
}

namespace StartedExtension {

std::optional<qint64> processId()
{
    QFile file(Deployment::runtimeDirectory() + QStringLiteral("/org.norvane.filter.mac.extension.pid"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonValue pid = QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("pid"));
    if (!pid.isDouble())
        return std::nullopt;
    return pid.toInteger();
}

bool isRunning(qint64 pid)
{
    // A zombie has ended; its parent (init or a subreaper) has not reaped it yet.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = stat.readAll();
    const qsizetype close = content.lastIndexOf(')');
    return close > 0 && content.size() > close + 2 && content.at(close + 2) != 'Z' && content.at(close + 2) != 'X';
}

bool waitForProcess(int milliseconds, std::optional<qint64> other)
{
    return QTest::qWaitFor(
        [&] {
            const auto pid = processId();
            return pid && pid != other && isRunning(*pid);
        },
        milliseconds);
}

void kill(int signal)
{
    if (const auto pid = processId(); pid && isRunning(*pid))
        ::kill(static_cast<pid_t>(*pid), signal);
}

void terminate()
{
    // A new one may have been started meanwhile (an activation under way): that one too.
    for (std::optional<qint64> pid = processId(); pid && isRunning(*pid); pid = processId()) {
        ::kill(static_cast<pid_t>(*pid), SIGTERM);
        if (!QTest::qWaitFor([&] { return !isRunning(*pid); }, RunningApp::stopTimeoutMs)) {
            ADD_FAILURE() << "the extension did not end within " << RunningApp::stopTimeoutMs << " ms of SIGTERM";
            ::kill(static_cast<pid_t>(*pid), SIGKILL);
            return;
        }
    }
}

} // namespace StartedExtension
