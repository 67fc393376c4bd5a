#include "AppSideConnection.h"

#include "control/IpcProtocol.h"

#include <algorithm>

namespace {
constexpr std::chrono::seconds replyTimeout{10};
}

XpcInvocation messageInvocation(const QString& selector, const IpcMessage& message)
{
    XpcInvocation invocation;
    invocation.selector = selector;
    invocation.arguments = {XpcValue::fromInt16(rawValue(message.id())),
                            XpcValue::fromTextDictionary(message.toDictionary())};
    if (const SharedFileHandle handle = message.fileHandle(); handle && handle->isValid())
        invocation.fileDescriptor = XpcFileDescriptor::duplicate(handle->fileDescriptor());
    return invocation;
}

AppSideConnection::AppSideConnection(const QString& serviceName)
    : m_connection(std::make_shared<XpcConnection>(serviceName))
{
    m_connection->setExportedHandler([this](XpcInvocation invocation, XpcReplyBlock reply) {
        if (invocation.selector == IpcProtocol::registerSelector) {
            reply({XpcValue::fromBool(true)});
            return;
        }
        if (invocation.selector != IpcProtocol::receiveMessageSelector || invocation.arguments.size() != 2)
            return;
        Delivery delivery;
        delivery.id = invocation.arguments[0].toInt16();
        delivery.payload = invocation.arguments[1].toTextDictionary().value_or(IpcDictionary());
        delivery.hadFile = invocation.fileDescriptor.isValid();
        SharedFileHandle handle;
        if (delivery.hadFile)
            handle = std::make_shared<const FileHandle>(invocation.fileDescriptor.release());
        delivery.message = IpcMessage::create(delivery.id, delivery.payload, std::move(handle));
        std::lock_guard lock(m_mutex);
        m_deliveries.push_back(std::move(delivery));
        m_changed.notify_all();
    });
    m_connection->setInterruptionHandler([this] {
        std::lock_guard lock(m_mutex);
        m_interrupted = true;
        m_changed.notify_all();
    });
    m_connection->setInvalidationHandler([this] {
        std::lock_guard lock(m_mutex);
        m_finished = true;
        m_changed.notify_all();
    });
    m_connection->resume();
}

AppSideConnection::~AppSideConnection()
{
    m_connection->invalidate();
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, replyTimeout, [this] { return m_finished; });
}

std::optional<bool> AppSideConnection::callForBool(XpcInvocation invocation)
{
    // Shared with the handlers, which may outlive this call when no answer comes.
    struct Result
    {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<bool> value;
        bool finished = false;
    };
    const auto result = std::make_shared<Result>();
    const auto finish = [result](std::optional<bool> value) {
        std::lock_guard lock(result->mutex);
        result->value = value;
        result->finished = true;
        result->done.notify_all();
    };
    m_connection->call(
        std::move(invocation),
        [finish](const XpcArguments& reply) {
            finish(reply.size() == 1 && reply[0].type() == XpcValue::Type::Bool
                       ? std::optional(reply[0].toBool())
                       : std::nullopt);
        },
        [finish](const XpcError&) { finish(std::nullopt); });
    std::unique_lock lock(result->mutex);
    result->done.wait_for(lock, replyTimeout, [&] { return result->finished; });
    return result->value;
}

std::optional<bool> AppSideConnection::registerWithPeer()
{
    return callForBool(XpcInvocation{IpcProtocol::registerSelector, {}, {}});
}

void AppSideConnection::send(const IpcMessage& message)
{
    m_connection->call(messageInvocation(IpcProtocol::receiveMessageSelector, message));
}

void AppSideConnection::sendRaw(XpcArguments arguments)
{
    m_connection->call(XpcInvocation{IpcProtocol::receiveMessageSelector, std::move(arguments), {}});
}

std::optional<bool> AppSideConnection::sendWithReply(const IpcMessage& message)
{
    return callForBool(messageInvocation(IpcProtocol::sendMessageSelector, message));
}

std::optional<AppSideConnection::Delivery> AppSideConnection::take(IpcMessageId id,
                                                                   std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    const auto matching = [&] {
        return std::find_if(m_deliveries.begin(), m_deliveries.end(),
                            [&](const Delivery& d) { return d.id == rawValue(id); });
    };
    if (!m_changed.wait_for(lock, timeout, [&] { return matching() != m_deliveries.end(); }))
        return std::nullopt;
    const auto found = matching();
    Delivery delivery = std::move(*found);
    m_deliveries.erase(found);
    return delivery;
}

bool AppSideConnection::waitForInterruption(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_interrupted; });
}
