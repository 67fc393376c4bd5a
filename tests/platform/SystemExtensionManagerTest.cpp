#include "platform/Bundle.h"
#include "platform/ExtensionProcess.h"
#include "platform/SystemExtensionManager.h"
#include "platform/SystemExtensionRequestDelegate.h"

#include "PlatformTestSupport.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>

using namespace PlatformTest;

namespace {

const QString extensionId = QStringLiteral("org.norvane.test.extension");

qint64 parentOf(qint64 pid)
{
    const QByteArray stat = TestEnvironment::readFile(QStringLiteral("/proc/%1/stat").arg(pid)).toUtf8();
    return stat.mid(stat.lastIndexOf(')') + 2).split(' ').value(1).toLongLong();
}

class RecordingDelegate : public SystemExtensionRequestDelegate
{
public:
    void requestDidFinishWithResult(const SystemExtensionRequest& request, SystemExtensionRequest::Result result) override
    {
        note(request, QStringLiteral("finish:%1").arg(int(result)));
    }
    void requestDidFailWithError(const SystemExtensionRequest& request, const PlatformError& error) override
    {
        errors.append(error);
        note(request, QStringLiteral("fail:%1").arg(error.code()));
    }
    void requestNeedsUserApproval(const SystemExtensionRequest& request) override { note(request, QStringLiteral("approval")); }
    SystemExtensionRequest::ReplacementAction actionForReplacingExtension(const SystemExtensionRequest& request,
                                                                          const SystemExtensionProperties& existing,
                                                                          const SystemExtensionProperties& replacement) override
    {
        note(request, QStringLiteral("replace?%1->%2").arg(existing.bundleShortVersion, replacement.bundleShortVersion));
        asked.append({existing, replacement});
        return answer;
    }

    // Waits until the number of final answers (finish or fail) reaches count.
    bool waitForAnswers(int count)
    {
        return QTest::qWaitFor([&] { return finals >= count; }, 10000);
    }

    QStringList events;
    QList<PlatformError> errors;
    QList<std::pair<SystemExtensionProperties, SystemExtensionProperties>> asked;
    SystemExtensionRequest::ReplacementAction answer = SystemExtensionRequest::ReplacementAction::replace;
    int finals = 0;
    bool allOnMainThread = true;

private:
    void note(const SystemExtensionRequest& request, const QString& event)
    {
        allOnMainThread = allOnMainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
        events.append(request.identifier() == extensionId ? event : request.identifier() + QLatin1Char(' ') + event);
        if (event.startsWith(QLatin1String("finish")) || event.startsWith(QLatin1String("fail")))
            ++finals;
    }
};

class SystemExtensionManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mainBundle = makeMainBundle();
        Bundle::setMainBundlePath(mainBundle);
    }
    void TearDown() override { reap(extensionId); }

    void submit(SystemExtensionRequest::Kind kind, const QString& identifier = extensionId)
    {
        auto request = kind == SystemExtensionRequest::Kind::activation ? SystemExtensionRequest::activationRequest(identifier)
                                                                        : SystemExtensionRequest::deactivationRequest(identifier);
        request->setDelegate(&delegate);
        manager.submitRequest(request);
    }

    QString mainBundle;
    SystemExtensionManager manager;
    RecordingDelegate delegate;
};

} // namespace

TEST_F(SystemExtensionManagerTest, ActivationRecordsAndStartsDeactivationStopsAndForgets)
{
    makeExtensionBundle(mainBundle, extensionId, QStringLiteral("2.1"), QStringLiteral("210"), "exec sleep 600\n");

    submit(SystemExtensionRequest::Kind::activation);
    ASSERT_TRUE(delegate.waitForAnswers(1));
    EXPECT_EQ(delegate.events, QStringList{QStringLiteral("finish:0")});
    const auto installed = manager.installedExtensions().installed(extensionId);
    ASSERT_TRUE(installed.has_value());
    EXPECT_EQ(installed->bundleShortVersion, QStringLiteral("2.1"));
    EXPECT_EQ(installed->bundleVersion, QStringLiteral("210"));
    const auto pid = ExtensionProcess(extensionId).runningProcessId();
    ASSERT_TRUE(pid.has_value());
    // Detached: a session of its own, and not a child of this process.
    EXPECT_NE(getsid(pid_t(*pid)), getsid(0));
    EXPECT_NE(parentOf(*pid), qint64(getpid()));

    // Running already, same version: nothing is asked and nothing restarted.
    submit(SystemExtensionRequest::Kind::activation);
    ASSERT_TRUE(delegate.waitForAnswers(2));
    EXPECT_TRUE(delegate.asked.isEmpty());
    EXPECT_EQ(ExtensionProcess(extensionId).runningProcessId(), pid);

    submit(SystemExtensionRequest::Kind::deactivation);
    ASSERT_TRUE(delegate.waitForAnswers(3));
    EXPECT_EQ(delegate.events.last(), QStringLiteral("finish:0"));
    EXPECT_TRUE(isGone(*pid));
    EXPECT_FALSE(manager.installedExtensions().installed(extensionId).has_value());
    EXPECT_FALSE(QFile::exists(ExtensionProcess(extensionId).pidFilePath()));
    EXPECT_TRUE(delegate.allOnMainThread);
}

TEST_F(SystemExtensionManagerTest, ActivationRestartsAnExtensionThatDied)
{
    makeExtensionBundle(mainBundle, extensionId, QStringLiteral("1.0"), QStringLiteral("1"), "exec sleep 600\n");
    submit(SystemExtensionRequest::Kind::activation);
    ASSERT_TRUE(delegate.waitForAnswers(1));
    const auto first = ExtensionProcess(extensionId).runningProcessId();
    ASSERT_TRUE(first.has_value());
    ::kill(pid_t(*first), SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor([&] { return isGone(*first); }, 5000));
    EXPECT_FALSE(ExtensionProcess(extensionId).isRunning());

    submit(SystemExtensionRequest::Kind::activation);
    ASSERT_TRUE(delegate.waitForAnswers(2));
    const auto second = ExtensionProcess(extensionId).runningProcessId();
    ASSERT_TRUE(second.has_value());
    EXPECT_NE(*second, *first);
}

TEST_F(SystemExtensionManagerTest, ReplacementIsAskedOnlyForAnotherVersionAndTheAnswerHolds)
{
    using Action = SystemExtensionRequest::ReplacementAction;
    struct Case
    {
        const char* installedShort;
        const char* installedBuild;
        const char* bundleShort;
        const char* bundleBuild;
        Action answer;
        bool asked;
        const char* recordedShort;  // after the request
        const char* recordedBuild;
        const char* outcome;
    };
    const Case cases[] = {
        {"1.0", "100", "1.0", "100", Action::replace, false, "1.0", "100", "finish:0"},
        {"1.0", "100", "1.0", "101", Action::cancel, true, "1.0", "100", "fail:11"},
        {"1.0", "100", "1.1", "110", Action::replace, true, "1.1", "110", "finish:0"},
        {"2.0", "200", "1.9", "190", Action::replace, true, "1.9", "190", "finish:0"},
        {"1.0", "100", "1.1", "110", Action::cancel, true, "1.0", "100", "fail:11"},
    };
    int answers = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1/%2 -> %3/%4").arg(c.installedShort, c.installedBuild, c.bundleShort, c.bundleBuild).toStdString());
        reap(extensionId);
        manager.installedExtensions().record({extensionId, QString::fromLatin1(c.installedBuild),
                                              QString::fromLatin1(c.installedShort), QStringLiteral("/old")});
        makeExtensionBundle(mainBundle, extensionId, QString::fromLatin1(c.bundleShort), QString::fromLatin1(c.bundleBuild),
                            "exec sleep 600\n");
        delegate.asked.clear();
        delegate.answer = c.answer;
        submit(SystemExtensionRequest::Kind::activation);
        ASSERT_TRUE(delegate.waitForAnswers(++answers));
        EXPECT_EQ(delegate.events.last(), QString::fromLatin1(c.outcome));
        ASSERT_EQ(delegate.asked.size(), c.asked ? 1 : 0);
        if (c.asked) {
            EXPECT_EQ(delegate.asked[0].first.bundleShortVersion, QString::fromLatin1(c.installedShort));
            EXPECT_EQ(delegate.asked[0].second.bundleShortVersion, QString::fromLatin1(c.bundleShort));
            EXPECT_EQ(delegate.asked[0].second.bundleVersion, QString::fromLatin1(c.bundleBuild));
        }
        const auto recorded = manager.installedExtensions().installed(extensionId);
        ASSERT_TRUE(recorded.has_value());
        EXPECT_EQ(recorded->bundleShortVersion, QString::fromLatin1(c.recordedShort));
        EXPECT_EQ(recorded->bundleVersion, QString::fromLatin1(c.recordedBuild));
        // A canceled replacement leaves the installed extension running all the same.
        EXPECT_TRUE(ExtensionProcess(extensionId).isRunning());
    }
}

TEST_F(SystemExtensionManagerTest, ReplacingStopsTheOldProcessBeforeStartingTheNew)
{
    makeExtensionBundle(mainBundle, extensionId, QStringLiteral("1.0"), QStringLiteral("1"), "exec sleep 600\n");
    submit(SystemExtensionRequest::Kind::activation);
    ASSERT_TRUE(delegate.waitForAnswers(1));
    const auto old = ExtensionProcess(extensionId).runningProcessId();
    ASSERT_TRUE(old.has_value());

    makeExtensionBundle(mainBundle, extensionId, QStringLiteral("1.1"), QStringLiteral("2"), "exec sleep 600\n");
    submit(SystemExtensionRequest::Kind::activation);
    ASSERT_TRUE(delegate.waitForAnswers(2));
    EXPECT_EQ(delegate.events, (QStringList{QStringLiteral("finish:0"), QStringLiteral("replace?1.0->1.1"), QStringLiteral("finish:0")}));
    EXPECT_TRUE(isGone(*old));
    const auto current = ExtensionProcess(extensionId).runningProcessId();
    ASSERT_TRUE(current.has_value());
    EXPECT_NE(*current, *old);
}

TEST_F(SystemExtensionManagerTest, FailuresReachTheFailureCallback)
{
    makeExtensionBundle(mainBundle, QStringLiteral("org.norvane.test.broken"), QStringLiteral("1.0"), QStringLiteral("1"), "exit 0\n");
    const QString brokenExecutable = mainBundle + QStringLiteral("/Contents/Library/SystemExtensions/org.norvane.test.broken.systemextension/Contents/MacOS/org.norvane.test.broken");
    QFile::setPermissions(brokenExecutable, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    submit(SystemExtensionRequest::Kind::activation, QStringLiteral("org.norvane.test.missing"));
    submit(SystemExtensionRequest::Kind::activation, QStringLiteral("org.norvane.test.broken"));
    submit(SystemExtensionRequest::Kind::deactivation, QStringLiteral("org.norvane.test.missing"));
    ASSERT_TRUE(delegate.waitForAnswers(3));
    EXPECT_EQ(delegate.events, (QStringList{QStringLiteral("org.norvane.test.missing fail:4"),
                                            QStringLiteral("org.norvane.test.broken fail:9"),
                                            QStringLiteral("org.norvane.test.missing fail:4")}));
    EXPECT_TRUE(delegate.errors[0].description().startsWith(
        QStringLiteral("Error Domain=OSSystemExtensionErrorDomain Code=4 \"No system extension org.norvane.test.missing")));
    EXPECT_TRUE(delegate.errors[1].localizedDescription().contains(QStringLiteral("not an executable")));
    EXPECT_FALSE(manager.installedExtensions().installed(QStringLiteral("org.norvane.test.broken")).has_value());
}

TEST_F(SystemExtensionManagerTest, UserApprovalHoldsTheFirstActivationUntilGiven)
{
    makeExtensionBundle(mainBundle, extensionId, QStringLiteral("1.0"), QStringLiteral("1"), "exec sleep 600\n");
    manager.setUserApprovalRequired(true);
    submit(SystemExtensionRequest::Kind::activation);
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate.events.size() == 1; }, 5000));
    EXPECT_EQ(delegate.events, QStringList{QStringLiteral("approval")});
    EXPECT_FALSE(ExtensionProcess(extensionId).isRunning());

    // A newer request supersedes the waiting one and waits in its place.
    submit(SystemExtensionRequest::Kind::activation);
    ASSERT_TRUE(delegate.waitForAnswers(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate.events.size() == 3; }, 5000));
    EXPECT_EQ(delegate.events, (QStringList{QStringLiteral("approval"), QStringLiteral("fail:12"), QStringLiteral("approval")}));

    manager.approvePendingRequests();
    ASSERT_TRUE(delegate.waitForAnswers(2));
    EXPECT_EQ(delegate.events.last(), QStringLiteral("finish:0"));
    EXPECT_TRUE(ExtensionProcess(extensionId).isRunning());

    // Installed now: later activations need no approval.
    submit(SystemExtensionRequest::Kind::activation);
    ASSERT_TRUE(delegate.waitForAnswers(3));
    EXPECT_EQ(delegate.events.last(), QStringLiteral("finish:0"));
}

TEST_F(SystemExtensionManagerTest, AnExtensionThatIgnoresSigtermIsKilled)
{
    // The marker says the trap is in place: a SIGTERM before it would simply end the script.
    const QString trapped = TestEnvironment::root() + QStringLiteral("/trap-set");
    makeExtensionBundle(mainBundle, extensionId, QStringLiteral("1.0"), QStringLiteral("1"),
                        (QStringLiteral("trap '' TERM\ntouch '%1'\nwhile :; do sleep 1; done\n").arg(trapped)).toUtf8());
    manager.setStopTimeout(std::chrono::milliseconds(300));
    DiagnosticsCapture diagnostics;
    submit(SystemExtensionRequest::Kind::activation);
    ASSERT_TRUE(delegate.waitForAnswers(1));
    const auto pid = ExtensionProcess(extensionId).runningProcessId();
    ASSERT_TRUE(pid.has_value());
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(trapped); }, 5000));

    submit(SystemExtensionRequest::Kind::deactivation);
    ASSERT_TRUE(delegate.waitForAnswers(2));
    EXPECT_EQ(delegate.events.last(), QStringLiteral("finish:0"));
    EXPECT_TRUE(isGone(*pid));
    EXPECT_EQ(diagnostics.count(QStringLiteral("did not stop on SIGTERM")), 1);
}

TEST_F(SystemExtensionManagerTest, RequestsFromAnotherThreadAnswerOnTheMainThread)
{
    makeExtensionBundle(mainBundle, extensionId, QStringLiteral("1.0"), QStringLiteral("1"), "exec sleep 600\n");
    std::thread([&] {
        auto request = SystemExtensionRequest::activationRequest(extensionId);
        request->setDelegate(&delegate);
        SystemExtensionManager::shared().submitRequest(request);
    }).join();
    ASSERT_TRUE(delegate.waitForAnswers(1));
    EXPECT_EQ(delegate.events, QStringList{QStringLiteral("finish:0")});
    EXPECT_TRUE(delegate.allOnMainThread);
}
