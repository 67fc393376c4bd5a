#pragma once

#include "control/IpcMessage.h"
#include "control/IpcMessageId.h"
#include "platform/Bundle.h"
#include "platform/XpcConnection.h"

#include <QHash>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/types.h>

class SessionObservableObject;

// The application's link to the filter extension: finds the extension's service, connects
// and registers, sends messages to every open connection, and hands each message the
// extension sends to the handler registered for its identifier.
//
// Threads: handlers run on the connection's delivery thread while messageHandlerLock is
// held, so a handler must not add or remove handlers; anything that touches the window's
// state goes to the main queue. The connection table has a lock of its own.
class IpcConnection
{
public:
    using MessageHandler = std::function<void(const std::shared_ptr<IpcMessage>& message)>;
    using Completion = std::function<void(bool)>;

    // The extension's bundle, or the reason there is none.
    struct BundleLookup
    {
        std::optional<Bundle> bundle;
        QString error;
    };
    struct ServiceLookup
    {
        std::optional<QString> name;
        QString error;
    };

    static IpcConnection& shared();

    // Opens and registers the connection for pid; completion(true) at once when one exists.
    void connectToProvider(pid_t pid, Completion completion = {});
    // Sends to every open connection; completion(sent) says whether there was one.
    void sendMessage(const IpcMessage& message, Completion completion = {});
    // Asks the extension to sync; the model's syncStatus becomes error when nothing was connected.
    void requestSync(SessionObservableObject* model);

    void addMessageHandler(IpcMessageId id, MessageHandler handler);
    void removeMessageHandler(IpcMessageId id);

    // Called after the peer registers with us; the application leaves it unset.
    void setClientConnectedHandler(std::function<void()> handler);

    // Runs every delivery of receiveMessageWithId:data:fileHandle:.
    void receiveMessage(qint16 id, const IpcDictionary& dictionary, SharedFileHandle fileHandle);

    static BundleLookup findExtensionBundle();
    static ServiceLookup machServiceName(const Bundle& bundle);
    // Computed once, on first use.
    const BundleLookup& extensionBundle();

    std::size_t connectionCount() const;

    // Ends every connection for good (no reconnect, no new connection) and waits a little
    // for their last handlers. Runs as the application object goes, before the program's
    // statics do, so that no link thread logs into a half-destroyed process.
    void invalidateConnections();

private:
    IpcConnection() = default;

    struct Link
    {
        std::shared_ptr<XpcConnection> connection;
        // Set once the extension answered register:; only such a link is recreated when
        // it drops, so an extension that is not running is not polled in a loop.
        std::shared_ptr<std::atomic<bool>> registered;
    };

    void handleCall(XpcInvocation invocation, XpcReplyBlock reply);
    bool hasConnection(pid_t pid) const;
    void dropLink(pid_t pid, const std::shared_ptr<XpcConnection>& connection);
    struct Delivery
    {
        qint16 id = 0;
        IpcDictionary dictionary;
        SharedFileHandle fileHandle;
    };
    static std::optional<Delivery> deliveryFrom(const XpcArguments& arguments, XpcFileDescriptor fileDescriptor);
    static std::shared_ptr<IpcMessage> build(qint16 id, const IpcDictionary& dictionary, SharedFileHandle fileHandle);

    // Lock order: messageHandlerLock, then m_connectionsLock (a handler may send); never the
    // other way round. m_clientHandlerLock is taken alone. The one call made under any of
    // them is a message handler under messageHandlerLock, so that a handler removed under
    // it is known to have finished; completions, the client handler and every call into a
    // connection run after the locks are released.
    std::mutex messageHandlerLock;
    QHash<IpcMessageId, MessageHandler> messageHandlers;

    mutable std::mutex m_connectionsLock;
    std::map<pid_t, Link> currentConnections;

    std::mutex m_clientHandlerLock;
    std::function<void()> clientConnectedHandler;

    std::atomic<bool> m_closed{false};
    std::once_flag m_bundleOnce;
    BundleLookup m_extensionBundle;
};
