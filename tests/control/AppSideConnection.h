#pragma once

#include "control/IpcMessage.h"
#include "platform/XpcConnection.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

// The application's end of the link, built from the transport and the message classes
// alone, for tests against the filter-extension stand-in: one client connection that
// exports receiveMessageWithId:data:fileHandle: and keeps every delivery.
class AppSideConnection
{
public:
    struct Delivery
    {
        qint16 id = -1;
        IpcDictionary payload;
        bool hadFile = false;
        std::shared_ptr<IpcMessage> message; // null when the factory refused it
    };

    explicit AppSideConnection(const QString& serviceName);
    // Waits for the connection's thread to let go of this object.
    ~AppSideConnection();
    AppSideConnection(const AppSideConnection&) = delete;
    AppSideConnection& operator=(const AppSideConnection&) = delete;

    // register:'s answer; nullopt when the call fails or no answer comes in time.
    std::optional<bool> registerWithPeer();
    // receiveMessageWithId:data:fileHandle: (one-way), the message's file duplicated.
    void send(const IpcMessage& message);
    // The same arguments raw, for what the message classes would never send.
    void sendRaw(XpcArguments arguments);
    // sendMessageWithMessage:completionHandler:'s answer.
    std::optional<bool> sendWithReply(const IpcMessage& message);

    // The oldest delivery of this identifier not taken yet, waiting for it when needed.
    std::optional<Delivery> take(IpcMessageId id,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool waitForInterruption(std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    std::optional<bool> callForBool(XpcInvocation invocation);

    std::shared_ptr<XpcConnection> m_connection;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Delivery> m_deliveries;
    bool m_interrupted = false;
    bool m_finished = false;
};

// The call that carries message, as the application makes it.
XpcInvocation messageInvocation(const QString& selector, const IpcMessage& message);
