#pragma once

#include "platform/XpcConnection.h"

#include <QString>

#include <functional>
#include <memory>

// Listens on a service name (the socket docs/ipc-protocol.md places in the runtime
// directory) and hands out one XpcConnection per peer, as the platform's listener does
// with its delegate. Only peers of the same user are taken.
class XpcListener
{
public:
    // Runs on the listener's thread for each new peer. Return true and keep the connection
    // (set its handlers, resume it) to accept it; a connection let go is closed.
    using ShouldAcceptNewConnection =
        std::function<bool(const std::shared_ptr<XpcConnection>& newConnection)>;

    explicit XpcListener(const QString& serviceName);
    ~XpcListener(); // invalidates
    XpcListener(const XpcListener&) = delete;
    XpcListener& operator=(const XpcListener&) = delete;

    QString serviceName() const;
    QString socketPath() const;

    void setShouldAcceptNewConnection(ShouldAcceptNewConnection handler);
    // Starts listening. False when the socket cannot be made (errorString() says why; also
    // reported to Diagnostics), for example while another process listens on the name.
    bool resume();
    // Stops taking peers and removes the socket file; connections already handed out go on.
    void invalidate();
    QString errorString() const;

private:
    struct Core;
    std::shared_ptr<Core> m_core;
};
