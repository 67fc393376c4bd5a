#pragma once

#include "platform/XpcListener.h"

#include <QString>

#include <memory>

class AppConnections;
class IpcMessage;
class MessageResponder;
class ReceivedMessages;

// The extension's end of the interprocess link: listens on the service name, keeps every
// application connection in AppConnections and serves the three calls both ends export
// (docs/ipc-protocol.md): register:, receiveMessageWithId:data:fileHandle: and
// sendMessageWithMessage:completionHandler:. Every delivery is recorded; a message the
// factory refuses is logged and dropped.
class ExtensionService
{
public:
    ExtensionService(const QString& serviceName, AppConnections& connections, ReceivedMessages& received,
                     const MessageResponder& responder);
    ~ExtensionService();
    ExtensionService(const ExtensionService&) = delete;
    ExtensionService& operator=(const ExtensionService&) = delete;

    // False, with the reason in *error, when the socket cannot be made (another process
    // already serves the name, for example).
    bool start(QString* error);
    // Stops taking connections and removes the socket; open connections stay.
    void stop();
    QString socketPath() const;

private:
    bool accept(const std::shared_ptr<XpcConnection>& connection);
    void handle(XpcConnection& connection, XpcInvocation invocation, const XpcReplyBlock& reply);
    // The message a delivery carries, or null (logged) when it is malformed or refused.
    std::shared_ptr<IpcMessage> receive(XpcConnection& connection, XpcInvocation& invocation);

    XpcListener m_listener;
    AppConnections& m_connections;
    ReceivedMessages& m_received;
    const MessageResponder& m_responder;
};
