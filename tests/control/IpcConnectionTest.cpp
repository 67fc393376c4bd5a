#include "control/IpcConnection.h"
#include "control/IpcProtocol.h"
#include "control/SyncMessage.h"
#include "control/UrlBlockedMessage.h"
#include "core/Log.h"
#include "core/SessionObservableObject.h"
#include "platform/XpcListener.h"

#include "LogEntries.h"
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QTest>

#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

const QString serviceName = QStringLiteral("org.norvane.test.ipc");

// Lays out an application bundle whose extension names the service (or names none).
void layOutBundle(bool withServiceName = true)
{
    const QString app = TestEnvironment::root() + QStringLiteral("/Norvane.app");
    const QString service = withServiceName ? QStringLiteral("<key>NetworkExtension</key><dict><key>NEMachServiceName</key>"
                                                             "<string>%1</string></dict>")
                                                  .arg(serviceName)
                                            : QString();
    TestEnvironment::writeFile(
        app + QStringLiteral("/Contents/Library/SystemExtensions/ext.systemextension/Contents/Info.plist"),
        QStringLiteral("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleIdentifier</key>"
                       "<string>org.norvane.filter.mac.extension</string>%1</dict></plist>")
            .arg(service)
            .toUtf8());
    Bundle::setMainBundlePath(app);
}

bool logHas(const QString& part)
{
    const QStringList entries = LogEntries::read(Log::shared().currentFilePath());
    return std::any_of(entries.cbegin(), entries.cend(), [&](const QString& e) { return e.contains(part); });
}

bool waitFor(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 10000);
}

// The extension's end of the link, in this process.
class FakeExtension
{
public:
    FakeExtension() : listener(serviceName)
    {
        listener.setShouldAcceptNewConnection([this](const std::shared_ptr<XpcConnection>& connection) {
            connection->setExportedHandler([this](XpcInvocation invocation, XpcReplyBlock reply) {
                std::lock_guard lock(mutex);
                if (invocation.selector == IpcProtocol::registerSelector) {
                    ++registrations;
                    reply({XpcValue::fromBool(true)});
                } else if (invocation.selector == IpcProtocol::receiveMessageSelector) {
                    received.push_back({invocation.arguments.value(0).toInt16(),
                                        invocation.arguments.value(1).toTextDictionary().value_or(IpcDictionary())});
                }
            });
            connection->resume();
            std::lock_guard lock(mutex);
            connections.push_back(connection);
            return true;
        });
        EXPECT_TRUE(listener.resume()) << listener.errorString().toStdString();
    }
    ~FakeExtension()
    {
        listener.invalidate();
        for (auto& connection : snapshot())
            connection->invalidate();
    }
    std::vector<std::shared_ptr<XpcConnection>> snapshot()
    {
        std::lock_guard lock(mutex);
        return connections;
    }
    int registrationCount()
    {
        std::lock_guard lock(mutex);
        return registrations;
    }
    std::vector<std::pair<qint16, IpcDictionary>> messages()
    {
        std::lock_guard lock(mutex);
        return received;
    }
    // Sends a delivery to the newest application connection.
    void deliver(XpcArguments arguments)
    {
        XpcInvocation invocation;
        invocation.selector = IpcProtocol::receiveMessageSelector;
        invocation.arguments = std::move(arguments);
        snapshot().back()->call(std::move(invocation));
    }

    std::mutex mutex;
    std::vector<std::shared_ptr<XpcConnection>> connections;
    std::vector<std::pair<qint16, IpcDictionary>> received;
    int registrations = 0;
    XpcListener listener;
};

bool connectAndWait(pid_t pid = getpid())
{
    std::atomic<int> result{-1};
    IpcConnection::shared().connectToProvider(pid, [&](bool ok) { result = ok ? 1 : 0; });
    waitFor([&] { return result != -1; });
    return result == 1;
}

} // namespace

TEST(IpcConnection, FindsTheServiceOrSaysWhyNot)
{
    Bundle::setMainBundlePath(TestEnvironment::root() + QStringLiteral("/Missing.app"));
    EXPECT_TRUE(IpcConnection::findExtensionBundle().error.startsWith(QStringLiteral("Failed to get the contents of file://")));

    QDir().mkpath(TestEnvironment::root() + QStringLiteral("/Empty.app/Contents/Library/SystemExtensions"));
    Bundle::setMainBundlePath(TestEnvironment::root() + QStringLiteral("/Empty.app"));
    EXPECT_EQ(IpcConnection::findExtensionBundle().error, QStringLiteral("Failed to find any system extensions"));

    QDir().mkpath(TestEnvironment::root() + QStringLiteral("/Bare.app/Contents/Library/SystemExtensions/x.systemextension"));
    Bundle::setMainBundlePath(TestEnvironment::root() + QStringLiteral("/Bare.app"));
    EXPECT_TRUE(IpcConnection::findExtensionBundle().error.startsWith(QStringLiteral("Failed to create a bundle with URL file://")));

    layOutBundle(false);
    const auto lookup = IpcConnection::findExtensionBundle();
    ASSERT_TRUE(lookup.bundle.has_value());
    EXPECT_EQ(IpcConnection::machServiceName(*lookup.bundle).error,
              QStringLiteral("Mach service name is missing from the Info.plist"));
    layOutBundle(true);
    EXPECT_EQ(IpcConnection::machServiceName(*IpcConnection::findExtensionBundle().bundle).name, serviceName);
}

TEST(IpcConnection, WithoutALinkEverySendReportsFalse)
{
    Bundle::setMainBundlePath(TestEnvironment::root() + QStringLiteral("/Missing.app"));
    EXPECT_FALSE(connectAndWait());
    EXPECT_TRUE(logHas(QStringLiteral("Failed to get the contents of ")));
    bool sent = true;
    IpcConnection::shared().sendMessage(SyncMessage(), [&](bool ok) { sent = ok; });
    EXPECT_FALSE(sent);
    EXPECT_TRUE(logHas(QStringLiteral("IpcConnection not registered with the provider")));

    SessionObservableObject model;
    IpcConnection::shared().requestSync(&model);
    EXPECT_TRUE(waitFor([&] { return model.syncStatus() == SessionObservableObject::SyncStatus::error; }));
}

TEST(IpcConnection, RegistersOnceAndSendsToTheExtension)
{
    layOutBundle();
    FakeExtension extension;
    ASSERT_TRUE(connectAndWait());
    ASSERT_TRUE(connectAndWait()); // already connected: no second register:
    EXPECT_EQ(extension.registrationCount(), 1);

    UrlBlockedMessage blocked;
    blocked.url = QStringLiteral("https://example.com/a?b=1");
    blocked.category = QStringLiteral("Adult & Mature");
    bool sent = false;
    IpcConnection::shared().sendMessage(blocked, [&](bool ok) { sent = ok; });
    EXPECT_TRUE(sent);
    EXPECT_TRUE(logHas(QStringLiteral("sent message to 1 clients")));
    ASSERT_TRUE(waitFor([&] { return !extension.messages().empty(); }));
    EXPECT_EQ(extension.messages().front().first, 0);
    EXPECT_EQ(extension.messages().front().second, blocked.toDictionary());
}

TEST(IpcConnection, DeliveriesReachTheirHandlerOrAreDroppedWithALogLine)
{
    layOutBundle();
    FakeExtension extension;
    ASSERT_TRUE(connectAndWait());
    std::atomic<int> blockedCount{0};
    QString lastUrl;
    std::mutex urlMutex;
    IpcConnection::shared().addMessageHandler(IpcMessageId::urlBlocked, [&](const std::shared_ptr<IpcMessage>& m) {
        std::lock_guard lock(urlMutex);
        lastUrl = std::static_pointer_cast<UrlBlockedMessage>(m)->url;
        ++blockedCount;
    });
    extension.deliver({XpcValue::fromInt16(1), XpcValue::fromTextDictionary({{QStringLiteral("type"), QStringLiteral("goLog")}})});
    extension.deliver({XpcValue::fromInt16(12), XpcValue::fromTextDictionary({})});
    extension.deliver({XpcValue::fromInt16(0),
                       XpcValue::fromEntries({{XpcValue::fromText(QStringLiteral("url")), XpcValue::fromInt32(5)}})});
    extension.deliver({XpcValue::fromText(QStringLiteral("0")), XpcValue()});
    extension.deliver({XpcValue::fromInt16(0), XpcValue::fromTextDictionary({{QStringLiteral("url"), QStringLiteral("u")}})});
    ASSERT_TRUE(waitFor([&] { return blockedCount == 1; }));
    {
        std::lock_guard lock(urlMutex);
        EXPECT_EQ(lastUrl, QStringLiteral("u"));
    }
    EXPECT_TRUE(logHas(QStringLiteral("IpcConnection dropped message 12: ")));
    EXPECT_TRUE(logHas(QStringLiteral("IpcConnection dropped a delivery: the payload is not a dictionary of texts")));
    EXPECT_TRUE(logHas(QStringLiteral("IpcConnection dropped a delivery: the arguments are not an identifier and a payload")));
}

TEST(IpcConnection, ADroppedLinkIsRecreatedWithTheSameHandlers)
{
    layOutBundle();
    FakeExtension extension;
    ASSERT_TRUE(connectAndWait());
    std::atomic<int> blockedCount{0};
    IpcConnection::shared().addMessageHandler(IpcMessageId::urlBlocked,
                                              [&](const std::shared_ptr<IpcMessage>&) { ++blockedCount; });
    extension.snapshot().front()->invalidate();
    ASSERT_TRUE(waitFor([&] { return extension.registrationCount() == 2; }));
    EXPECT_TRUE(logHas(QStringLiteral("Connection dropped 3 recreating ") + QString::number(getpid())));
    EXPECT_EQ(IpcConnection::shared().connectionCount(), 1u);
    extension.deliver({XpcValue::fromInt16(0), XpcValue::fromTextDictionary({})});
    EXPECT_TRUE(waitFor([&] { return blockedCount == 1; }));
}

// An extension that isn't running is reported once, not polled in a loop.
TEST(IpcConnection, AnExtensionThatIsNotRunningFailsTheRegistration)
{
    layOutBundle();
    EXPECT_FALSE(connectAndWait());
    EXPECT_TRUE(logHas(QStringLiteral("IpcConnection Failed to register with the provider: ")));
    EXPECT_EQ(IpcConnection::shared().connectionCount(), 0u);
    EXPECT_FALSE(logHas(QStringLiteral("Connection dropped 3")));
}

TEST(IpcConnection, HandlersChangeFromAnotherThreadWhileDeliveriesStream)
{
    layOutBundle();
    FakeExtension extension;
    ASSERT_TRUE(connectAndWait());
    constexpr int events = 3000;
    std::atomic<int> blockedCount{0};
    IpcConnection::shared().addMessageHandler(IpcMessageId::urlBlocked,
                                              [&](const std::shared_ptr<IpcMessage>&) { ++blockedCount; });
    std::atomic<bool> streaming{true};
    std::thread churn([&] {
        while (streaming) {
            IpcConnection::shared().addMessageHandler(IpcMessageId::relaxedPolicy, [](const std::shared_ptr<IpcMessage>&) {});
            IpcConnection::shared().removeMessageHandler(IpcMessageId::relaxedPolicy);
            IpcConnection::shared().removeMessageHandler(IpcMessageId::update);
        }
    });
    for (int i = 0; i < events; ++i) {
        extension.deliver({XpcValue::fromInt16(i % 2 ? 0 : 4),
                           XpcValue::fromTextDictionary({{QStringLiteral("url"), QString::number(i)}})});
    }
    const bool allArrived = waitFor([&] { return blockedCount == events / 2; });
    streaming = false;
    churn.join();
    EXPECT_TRUE(allArrived) << blockedCount;
}
