#pragma once

#include "platform/XpcError.h"
#include "platform/XpcInvocation.h"
#include "platform/XpcReplyBlock.h"

#include <QString>

#include <chrono>

#include <functional>
#include <memory>

#include <sys/types.h>

class XpcConnectionCore;

using XpcReplyHandler = std::function<void(const XpcArguments& reply)>;
// Gets every call the peer makes. reply is valid only for calls that expect an answer; the
// invocation's descriptor, if any, belongs to the handler (it closes when let go).
using XpcExportedHandler = std::function<void(XpcInvocation invocation, XpcReplyBlock reply)>;

// One end of the interprocess link to a named service: a client made here, or the end that
// XpcListener hands out for each peer. Wire format: docs/ipc-protocol.md.
//
// Life cycle, as the platform's connection: set the handlers, resume(), call; invalidate()
// (or letting the object go) ends it. A client connects with its first call after resume().
//
// Threads: every connection has one thread of its own, and everything it reports runs
// there, one after another: the exported handler, reply and error handlers, the
// interruption handler and the invalidation handler. Calls and replies may be made from
// any thread; writes are serialised. What the socket cannot take yet waits in memory; past
// XpcConnectionCore::maximumQueuedBytes a caller waits for room (the connection's own
// thread is refused instead, with XpcError::SendFailed). Handlers may run until the
// invalidation handler has run, even after the object is let go.
//
// Failures:
// - Interruption: the peer closed, was dropped for bad input, or the service could not be
//   reached (reported no sooner than XpcConnectionCore::connectFailureDelay after the
//   attempt). Runs once, unless invalidate() came first. The connection is dead from then
//   on: calls fail with XpcError::Interrupted. After the interruption handler, the error
//   handler of every call still waiting for its reply runs, in call order.
// - invalidate(): the error handlers of unanswered calls run with XpcError::Invalidated,
//   then the invalidation handler; all handlers are released afterwards.
// A reply handler and its error handler never both run, and neither runs twice.
class XpcConnection
{
public:
    explicit XpcConnection(const QString& serviceName);
    ~XpcConnection(); // invalidates
    XpcConnection(const XpcConnection&) = delete;
    XpcConnection& operator=(const XpcConnection&) = delete;

    QString serviceName() const;
    // The peer's process (from the kernel); 0 until a client has connected.
    pid_t processIdentifier() const;

    void setExportedHandler(XpcExportedHandler handler);
    void setInterruptionHandler(std::function<void()> handler);
    void setInvalidationHandler(std::function<void()> handler);

    void resume();
    void invalidate();
    // Waits until every connection invalidated so far has run its last handlers (false on
    // timeout): for the end of the process, before the program's statics go.
    static bool waitForInvalidated(std::chrono::milliseconds timeout);

    // A one-way call. errorHandler runs (once) when the call cannot be sent.
    void call(XpcInvocation invocation, XpcErrorHandler errorHandler = nullptr);
    // A call with a reply: exactly one of replyHandler and errorHandler runs, unless the
    // peer neither answers nor goes away.
    void call(XpcInvocation invocation, XpcReplyHandler replyHandler, XpcErrorHandler errorHandler);

private:
    friend class XpcListener;
    explicit XpcConnection(std::shared_ptr<XpcConnectionCore> core);

    std::shared_ptr<XpcConnectionCore> m_core;
};
