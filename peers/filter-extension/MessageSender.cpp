#include "MessageSender.h"

#include "AppConnections.h"
#include "PeerLog.h"

#include "control/IpcProtocol.h"

#include <atomic>

namespace {

XpcErrorHandler failureLogger(const IpcMessage& message, pid_t pid,
                              std::shared_ptr<std::atomic<bool>> reported)
{
    const QString name = ipcMessageIdName(message.id());
    return [name, pid, reported = std::move(reported)](const XpcError& error) {
        if (!reported->exchange(true))
            peerLog(
                QStringLiteral("Sending %1 to pid %2 failed: %3").arg(name).arg(pid).arg(error.description));
    };
}

} // namespace

namespace MessageSender {

XpcInvocation invocation(const IpcMessage& message)
{
    return IpcProtocol::deliveryOf(message);
}

void send(XpcConnection& connection, const IpcMessage& message)
{
    connection.call(invocation(message), failureLogger(message, connection.processIdentifier(),
                                                       std::make_shared<std::atomic<bool>>()));
}

int sendToAll(const AppConnections& connections, const IpcMessage& message)
{
    const auto all = connections.all();
    for (const auto& connection : all)
        send(*connection, message);
    return int(all.size());
}

int sendRepeatedly(const AppConnections& connections, const IpcMessage& message, qint64 count,
                   const std::atomic<bool>& stop)
{
    const auto all = connections.all();
    peerLog(QStringLiteral("Sending %1 %2 to %3 app connection(s)")
                .arg(count)
                .arg(ipcMessageIdName(message.id()))
                .arg(all.size()));
    const XpcInvocation prototype = invocation(message);
    for (const auto& connection : all) {
        const XpcErrorHandler onFailure =
            failureLogger(message, connection->processIdentifier(), std::make_shared<std::atomic<bool>>());
        for (qint64 i = 0; i < count && !stop.load(std::memory_order_relaxed); ++i)
            connection->call(XpcInvocation{prototype.selector, prototype.arguments, {}}, onFailure);
    }
    return int(all.size());
}

} // namespace MessageSender
