#include "ExtensionService.h"

#include "AppConnections.h"
#include "MessageResponder.h"
#include "PeerLog.h"
#include "ReceivedMessages.h"

#include "control/IpcMessage.h"
#include "control/IpcProtocol.h"

ExtensionService::ExtensionService(const QString& serviceName, AppConnections& connections,
                                   ReceivedMessages& received, const MessageResponder& responder)
    : m_listener(serviceName), m_connections(connections), m_received(received), m_responder(responder)
{
    m_listener.setShouldAcceptNewConnection(
        [this](const std::shared_ptr<XpcConnection>& connection) { return accept(connection); });
}

ExtensionService::~ExtensionService()
{
    stop();
}

bool ExtensionService::start(QString* error)
{
    if (m_listener.resume())
        return true;
    *error = m_listener.errorString();
    return false;
}

void ExtensionService::stop()
{
    m_listener.invalidate();
}

QString ExtensionService::socketPath() const
{
    return m_listener.socketPath();
}

bool ExtensionService::accept(const std::shared_ptr<XpcConnection>& connection)
{
    const pid_t pid = connection->processIdentifier();
    // The handlers hold the connection weakly: it owns them.
    const std::weak_ptr<XpcConnection> weak = connection;
    connection->setExportedHandler([this, weak](XpcInvocation invocation, XpcReplyBlock reply) {
        if (const auto connection = weak.lock())
            handle(*connection, std::move(invocation), reply);
    });
    const XpcConnection* key = connection.get();
    connection->setInterruptionHandler([this, key, pid] {
        peerLog(QStringLiteral("App connection of pid %1 closed").arg(pid));
        m_connections.remove(key);
    });
    connection->setInvalidationHandler([this] { m_connections.finished(); });
    m_connections.add(connection);
    connection->resume();
    peerLog(QStringLiteral("App connected (pid %1)").arg(pid));
    return true;
}

void ExtensionService::handle(XpcConnection& connection, XpcInvocation invocation, const XpcReplyBlock& reply)
{
    const QString& selector = invocation.selector;
    if (selector == IpcProtocol::registerSelector) {
        peerLog(QStringLiteral("App registered (pid %1)").arg(connection.processIdentifier()));
        m_connections.markRegistered(&connection);
        reply({XpcValue::fromBool(true)});
        return;
    }
    if (selector == IpcProtocol::receiveMessageSelector || selector == IpcProtocol::sendMessageSelector) {
        const std::shared_ptr<IpcMessage> message = receive(connection, invocation);
        // Only a message we took counts as sent.
        if (reply.isValid())
            reply({XpcValue::fromBool(message != nullptr)});
        if (message)
            m_responder.respond(*message, connection);
        return;
    }
    // Unanswered, the caller learns that nothing handled the call.
    peerLog(QStringLiteral("Unknown call %1 from pid %2").arg(selector).arg(connection.processIdentifier()));
}

std::shared_ptr<IpcMessage> ExtensionService::receive(XpcConnection& connection, XpcInvocation& invocation)
{
    ReceivedMessage record;
    record.pid = connection.processIdentifier();
    record.selector = invocation.selector;
    record.hadFile = invocation.fileDescriptor.isValid();
    const XpcArguments& arguments = invocation.arguments;

    std::optional<IpcDictionary> payload;
    if (const auto delivery = IpcProtocol::readDelivery(arguments, &record.rejection)) {
        record.id = delivery->id;
        payload = delivery->dictionary;
        record.payload = *payload;
        if (const auto id = ipcMessageIdFromRawValue(record.id))
            record.name = ipcMessageIdName(*id);
    } else if (!arguments.isEmpty() && arguments.first().type() == XpcValue::Type::Int16) {
        record.id = arguments.first().toInt16(); // recorded even when its payload is refused
    }

    std::shared_ptr<IpcMessage> message;
    if (payload) {
        SharedFileHandle handle;
        if (invocation.fileDescriptor.isValid())
            handle = std::make_shared<const FileHandle>(invocation.fileDescriptor.release());
        message = IpcMessage::create(record.id, *payload, std::move(handle), &record.rejection);
    }
    record.accepted = message != nullptr;
    if (message)
        peerLog(QStringLiteral("Received %1 from pid %2%3")
                    .arg(record.name)
                    .arg(record.pid)
                    .arg(record.hadFile ? QStringLiteral(" with a file") : QString()));
    else
        peerLog(QStringLiteral("Dropped message %1 from pid %2: %3")
                    .arg(record.id)
                    .arg(record.pid)
                    .arg(record.rejection));
    m_received.add(std::move(record));
    return message;
}
