#include "control/IpcConnection.h"

#include "control/IpcProtocol.h"
#include "control/SyncMessage.h"
#include "core/Log.h"
#include "core/SessionObservableObject.h"
#include "platform/MainQueue.h"

#include <QCoreApplication>
#include <QDir>
#include <QUrl>

namespace {

QString describe(const XpcError& error)
{
    return error.description.isEmpty() ? QStringLiteral("Error %1").arg(error.code) : error.description;
}

} // namespace

IpcConnection& IpcConnection::shared()
{
    static IpcConnection* instance = [] {
        auto* link = new IpcConnection;
        qAddPostRoutine([] { IpcConnection::shared().invalidateConnections(); });
        return link;
    }();
    return *instance;
}

void IpcConnection::invalidateConnections()
{
    m_closed = true;
    std::map<pid_t, Link> connections;
    {
        std::lock_guard lock(m_connectionsLock);
        connections.swap(currentConnections);
    }
    for (const auto& [pid, link] : connections)
        link.connection->invalidate();
    XpcConnection::waitForInvalidated(std::chrono::seconds(5));
}

IpcConnection::BundleLookup IpcConnection::findExtensionBundle()
{
    const QString directory = Bundle::main().bundlePath() + QStringLiteral("/Contents/Library/SystemExtensions");
    const QDir dir(directory);
    const QString url = QUrl::fromLocalFile(QDir::cleanPath(dir.absolutePath()) + QLatin1Char('/')).toString();
    if (!dir.exists() || !dir.isReadable())
        return {std::nullopt, QStringLiteral("Failed to get the contents of ") + url +
                                  QStringLiteral(": The folder doesn't exist or can't be read.")};
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    if (entries.isEmpty())
        return {std::nullopt, QStringLiteral("Failed to find any system extensions")};
    const QString entry = dir.absoluteFilePath(entries.first());
    Bundle bundle(entry);
    if (bundle.infoDictionary().isEmpty())
        return {std::nullopt,
                QStringLiteral("Failed to create a bundle with URL ") + QUrl::fromLocalFile(entry).toString()};
    return {bundle, {}};
}

IpcConnection::ServiceLookup IpcConnection::machServiceName(const Bundle& bundle)
{
    const QVariant extension = bundle.infoDictionary().value(QStringLiteral("NetworkExtension"));
    const QVariant name = extension.toMap().value(QStringLiteral("NEMachServiceName"));
    if (extension.typeId() != QMetaType::QVariantMap || name.typeId() != QMetaType::QString)
        return {std::nullopt, QStringLiteral("Mach service name is missing from the Info.plist")};
    return {name.toString(), {}};
}

const IpcConnection::BundleLookup& IpcConnection::extensionBundle()
{
    std::call_once(m_bundleOnce, [this] { m_extensionBundle = findExtensionBundle(); });
    return m_extensionBundle;
}

std::size_t IpcConnection::connectionCount() const
{
    std::lock_guard lock(m_connectionsLock);
    return currentConnections.size();
}

void IpcConnection::dropLink(pid_t pid, const std::shared_ptr<XpcConnection>& connection)
{
    Link dropped; // let go after the lock
    {
        std::lock_guard lock(m_connectionsLock);
        const auto found = currentConnections.find(pid);
        // A newer connection may already stand under this pid; leave it alone.
        if (found != currentConnections.end() && found->second.connection == connection) {
            dropped = std::move(found->second);
            currentConnections.erase(found);
        }
    }
    connection->invalidate();
}

bool IpcConnection::hasConnection(pid_t pid) const
{
    std::lock_guard lock(m_connectionsLock);
    return currentConnections.count(pid) != 0;
}

void IpcConnection::connectToProvider(pid_t pid, Completion completion)
{
    // Every answer runs with none of our locks held: the completion usually sends.
    const auto done = [completion](bool success) {
        if (completion)
            completion(success);
    };
    if (m_closed) {
        done(false);
        return;
    }
    if (hasConnection(pid)) {
        done(true);
        return;
    }
    const BundleLookup& bundle = extensionBundle();
    if (!bundle.bundle) {
        log(bundle.error);
        done(false);
        return;
    }
    const ServiceLookup service = machServiceName(*bundle.bundle);
    if (!service.name) {
        log(service.error);
        done(false);
        return;
    }

    auto connection = std::make_shared<XpcConnection>(*service.name);
    auto registered = std::make_shared<std::atomic<bool>>(false);
    bool inserted = false;
    {
        // Check and insert under one lock, so two callers can't both open a connection.
        std::lock_guard lock(m_connectionsLock);
        if (!m_closed && !currentConnections.count(pid)) {
            currentConnections[pid] = Link{connection, registered};
            inserted = true;
        }
    }
    if (!inserted) {
        done(!m_closed); // another caller got there first, or the link has closed
        return;
    }
    const std::weak_ptr<XpcConnection> weak = connection;
    connection->setExportedHandler(
        [this](XpcInvocation invocation, XpcReplyBlock reply) { handleCall(std::move(invocation), std::move(reply)); });
    connection->setInterruptionHandler([this, pid, weak, registered] {
        const auto dropped = weak.lock();
        if (!dropped || !registered->load() || m_closed)
            return; // never reached the extension (its register: error handler reports it), or closed
        log(QStringLiteral("Connection dropped 3 recreating ") + QString::number(pid));
        dropLink(pid, dropped);
        connectToProvider(pid);
    });
    connection->resume();

    XpcInvocation registration;
    registration.selector = IpcProtocol::registerSelector;
    connection->call(
        std::move(registration),
        [registered, done](const XpcArguments& reply) {
            const bool accepted = !reply.isEmpty() && reply.first().toBool();
            registered->store(accepted);
            done(accepted);
        },
        [this, pid, weak, done](const XpcError& error) {
            log(QStringLiteral("IpcConnection Failed to register with the provider: ") + describe(error));
            if (const auto failed = weak.lock())
                dropLink(pid, failed);
            done(false);
        });
}

void IpcConnection::sendMessage(const IpcMessage& message, Completion completion)
{
    std::map<pid_t, Link> connections;
    {
        std::lock_guard lock(m_connectionsLock);
        connections = currentConnections;
    }
    if (connections.empty()) {
        log(QStringLiteral("IpcConnection not registered with the provider"));
        if (completion)
            completion(false);
        return;
    }
    for (const auto& [pid, link] : connections) {
        const std::weak_ptr<XpcConnection> weak = link.connection;
        link.connection->call(IpcProtocol::deliveryOf(message), [this, pid = pid, weak](const XpcError& error) {
            log(QStringLiteral("IpcConnection Failed to register with the provider: ") + describe(error));
            if (const auto failed = weak.lock())
                dropLink(pid, failed);
        });
    }
    log(QStringLiteral("sent message to ") + QString::number(connectionCount()) + QStringLiteral(" clients"));
    if (completion)
        completion(true);
}

void IpcConnection::requestSync(SessionObservableObject* model)
{
    const QPointer<SessionObservableObject> guarded = model;
    sendMessage(SyncMessage(), [guarded](bool sent) {
        if (sent)
            return;
        MainQueue::async([guarded] {
            if (guarded)
                guarded->setSyncStatus(SessionObservableObject::SyncStatus::error);
        });
    });
}

// A replaced or removed handler is let go after the lock: what it holds may take locks of
// its own when it goes.
void IpcConnection::addMessageHandler(IpcMessageId id, MessageHandler handler)
{
    std::lock_guard lock(messageHandlerLock);
    std::swap(messageHandlers[id], handler);
}

void IpcConnection::removeMessageHandler(IpcMessageId id)
{
    MessageHandler removed;
    std::lock_guard lock(messageHandlerLock);
    removed = messageHandlers.take(id);
}

void IpcConnection::setClientConnectedHandler(std::function<void()> handler)
{
    std::lock_guard lock(m_clientHandlerLock);
    clientConnectedHandler = std::move(handler);
}

std::shared_ptr<IpcMessage> IpcConnection::build(qint16 id, const IpcDictionary& dictionary, SharedFileHandle fileHandle)
{
    QString rejection;
    auto message = IpcMessage::create(id, dictionary, std::move(fileHandle), &rejection);
    if (!message)
        log(QStringLiteral("IpcConnection dropped message %1: %2").arg(id).arg(rejection));
    return message;
}

void IpcConnection::receiveMessage(qint16 id, const IpcDictionary& dictionary, SharedFileHandle fileHandle)
{
    const std::shared_ptr<IpcMessage> message = build(id, dictionary, std::move(fileHandle));
    if (!message)
        return;
    std::lock_guard lock(messageHandlerLock);
    const auto handler = messageHandlers.constFind(message->id());
    if (handler != messageHandlers.constEnd())
        (*handler)(message);
}

std::optional<IpcConnection::Delivery> IpcConnection::deliveryFrom(const XpcArguments& arguments,
                                                                  XpcFileDescriptor fileDescriptor)
{
    const SharedFileHandle handle =
        fileDescriptor.isValid() ? std::make_shared<const FileHandle>(fileDescriptor.release()) : nullptr;
    QString why;
    const auto delivery = IpcProtocol::readDelivery(arguments, &why);
    if (!delivery) {
        log(QStringLiteral("IpcConnection dropped a delivery: ") + why);
        return std::nullopt;
    }
    return Delivery{delivery->id, delivery->dictionary, handle};
}

void IpcConnection::handleCall(XpcInvocation invocation, XpcReplyBlock reply)
{
    if (invocation.selector == IpcProtocol::receiveMessageSelector) {
        if (const auto delivery = deliveryFrom(invocation.arguments, std::move(invocation.fileDescriptor)))
            receiveMessage(delivery->id, delivery->dictionary, delivery->fileHandle);
        return;
    }
    if (invocation.selector == IpcProtocol::registerSelector) {
        log(QStringLiteral("IpcConnection App registered"));
        if (reply.isValid())
            reply({XpcValue::fromBool(true)});
        std::function<void()> connected;
        {
            std::lock_guard lock(m_clientHandlerLock);
            connected = clientConnectedHandler;
        }
        if (connected)
            connected();
        return;
    }
    if (invocation.selector == IpcProtocol::sendMessageSelector) {
        const auto delivery = deliveryFrom(invocation.arguments, std::move(invocation.fileDescriptor));
        const auto message = delivery ? build(delivery->id, delivery->dictionary, delivery->fileHandle) : nullptr;
        if (!message)
            return; // the unanswered reply block tells the caller it was not handled
        sendMessage(*message, [reply](bool sent) {
            if (reply.isValid())
                reply({XpcValue::fromBool(sent)});
        });
        return;
    }
    log(QStringLiteral("IpcConnection ignored an unknown call ") + invocation.selector);
}
