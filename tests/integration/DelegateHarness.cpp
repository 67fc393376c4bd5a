#include "DelegateHarness.h"

#include "RunningApp.h"

#include "core/Log.h"
#include "core/SessionData.h"
#include "platform/Bundle.h"
#include "platform/TunnelConnection.h"
#include "platform/UserDefaults.h"

#include "LogEntries.h"

#include <QJsonArray>
#include <QCoreApplication>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

const QString DelegateHarness::registered = QStringLiteral("Gui client registered in IPC");

DelegateHarness::DelegateHarness() : m_recorder(std::make_shared<RecordingCommandRunner>())
{
    Bundle::setMainBundlePath(QStringLiteral(NORVANE_TEST_BUNDLE_DIR));
    CommandRunner::setShared(m_recorder);
    UserDefaults::standard().setString(SessionData::authTokenKey, QStringLiteral("demo-token-0001"));
    AppDelegate::setContentFactory(
        [](SessionObservableObject*, LoadingModel*) -> QWidget* { return new QLabel(QStringLiteral("content")); });
}

DelegateHarness::~DelegateHarness()
{
    m_delegate.reset();
    // Requests the delegate submitted before it went still reach the extension manager
    // (one may start the extension again); let them finish before stopping it.
    for (int round = 0; round < 4; ++round)
        QCoreApplication::sendPostedEvents();
    StartedExtension::terminate();
}

AppDelegate::Timing DelegateHarness::shortTiming(std::chrono::milliseconds first, std::chrono::milliseconds interval)
{
    AppDelegate::Timing timing;
    timing.firstSupervision = first;
    timing.supervisionInterval = interval;
    return timing;
}

AppDelegate& DelegateHarness::create(AppDelegate::Timing timing)
{
    m_delegate = std::make_unique<AppDelegate>(timing);
    return *m_delegate;
}

bool DelegateHarness::launch(AppDelegate::Timing timing)
{
    return create(timing).applicationDidFinishLaunching();
}

bool DelegateHarness::launchAndRegister(AppDelegate::Timing timing)
{
    // Waits that spin the event loop: the delegate's answers arrive on this thread.
    return launch(timing) && StartedExtension::waitForProcess(30000) && waitForLogCount(registered, 1) &&
           m_extension.attach();
}

int DelegateHarness::logCount(const QString& text)
{
    const QStringList entries = LogEntries::read(Log::shared().currentFilePath());
    return static_cast<int>(
        std::count_if(entries.cbegin(), entries.cend(), [&](const QString& entry) { return entry.contains(text); }));
}

bool DelegateHarness::waitForLogCount(const QString& text, int count, int milliseconds)
{
    return QTest::qWaitFor([&] { return logCount(text) >= count; }, milliseconds);
}

bool DelegateHarness::waitForRuns(int count, int milliseconds)
{
    return QTest::qWaitFor([&] { return m_delegate->supervisionRunCount() >= count; }, milliseconds);
}

bool DelegateHarness::settle()
{
    const bool configured = QTest::qWaitFor(
        [&] {
            const auto manager = m_delegate->proxyManager();
            return manager && manager->isEnabled() && manager->connection().status() == VPNStatus::connected;
        },
        30000);
    return configured && waitForLogCount(registered, 1) && waitForRuns(m_delegate->supervisionRunCount() + 2);
}

int DelegateHarness::tunnelStarts() const
{
    const QStringList commands = m_recorder->commands();
    return static_cast<int>(std::count_if(commands.cbegin(), commands.cend(), [](const QString& command) {
        return command.startsWith(QStringLiteral("launchctl setenv NODE_EXTRA_CA_CERTS"));
    }));
}

int DelegateHarness::receivedCount(int id)
{
    const QJsonArray messages = m_extension.received();
    return static_cast<int>(std::count_if(messages.begin(), messages.end(), [id](const QJsonValue& message) {
        return message.toObject().value(QStringLiteral("id")).toInt() == id;
    }));
}
