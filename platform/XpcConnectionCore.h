#pragma once

#include "platform/XpcConnection.h"
#include "platform/XpcError.h"
#include "platform/XpcFrame.h"
#include "platform/XpcFrameDecoder.h"
#include "platform/XpcInvocation.h"
#include "platform/XpcReplyBlock.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/types.h>

class SerialQueue;

// The shared state and the thread of one XpcConnection (see there for the behaviour). The
// thread keeps the state alive while it runs, so a connection can be let go from any
// thread, its own included, without waiting for it.
class XpcConnectionCore : public std::enable_shared_from_this<XpcConnectionCore>
{
public:
    // A service that cannot be reached is reported no sooner than this after the attempt,
    // so that a caller who reconnects from the interruption handler does not spin.
    static constexpr std::chrono::milliseconds connectFailureDelay{100};
    // Written frames wait in memory while the peer does not read. Past this, a caller
    // waits for room; the connection's own thread (and a suspended connection) gets an
    // error instead.
    static constexpr qsizetype maximumQueuedBytes = 64 * 1024 * 1024;
    // Descriptors that came without a frame claiming them; past this the peer is dropped.
    static constexpr size_t maximumUnclaimedDescriptors = 16;

    static std::shared_ptr<XpcConnectionCore> client(const QString& serviceName);
    static std::shared_ptr<XpcConnectionCore> accepted(const QString& serviceName, int socket, pid_t peer);
    ~XpcConnectionCore();
    XpcConnectionCore(const XpcConnectionCore&) = delete;
    XpcConnectionCore& operator=(const XpcConnectionCore&) = delete;

    QString serviceName() const { return m_serviceName; }
    pid_t processIdentifier() const { return m_peerPid.load(); }

    void setExportedHandler(XpcExportedHandler handler);
    void setInterruptionHandler(std::function<void()> handler);
    void setInvalidationHandler(std::function<void()> handler);

    void resume();
    void invalidate();
    // One-way when reply is empty.
    void call(XpcInvocation invocation, XpcReplyHandler reply, XpcErrorHandler error);

    // Until every invalidated connection has run its last handlers, or the timeout.
    static bool waitForInvalidated(std::chrono::milliseconds timeout);

    void sendReply(quint32 callId, XpcReplyStatus status, const XpcArguments& arguments,
                   const QString& selector);
    // A line in the platform's diagnostics, naming this connection.
    void report(const QString& what) const;

private:
    enum class State
    {
        Suspended,
        Resumed,
        Interrupted,
        Invalidated,
    };
    enum class Flush
    {
        Done,
        WouldBlock,
        Failed,
    };
    struct Outgoing
    {
        QByteArray bytes;
        qsizetype offset = 0;
        XpcFileDescriptor descriptor;
        XpcErrorHandler onFailure; // one-way calls, until written out
    };
    struct Pending
    {
        QString selector;
        XpcReplyHandler reply;
        XpcErrorHandler error;
    };

    XpcConnectionCore(const QString& serviceName, bool isClient, int socket, pid_t peer);

    void startThreadLocked();
    void run();
    void connectToService();
    void readAvailable(int socket);
    bool dispatchFrames();
    bool handleFrame(XpcFrame& frame);
    void protocolFailure(const QString& reason);
    void lose(const XpcError& error);
    void finish();

    void enqueueLocked(QByteArray bytes, XpcFileDescriptor descriptor, XpcErrorHandler onFailure);
    // Finished one-way calls hand their error handlers to *written.
    void writeOrWakeLocked(std::vector<XpcErrorHandler>* written);
    Flush flushLocked(std::vector<XpcErrorHandler>* written);
    std::vector<XpcErrorHandler> takeUnsentLocked();
    void failLaterLocked(XpcErrorHandler handler, const XpcError& error);
    XpcError error(XpcError::Code code, const QString& detail = QString()) const;
    static SerialQueue& lateErrors();

    const QString m_serviceName;
    const bool m_isClient;
    const int m_wake;
    std::atomic<pid_t> m_peerPid;
    std::atomic<quint32> m_nextCallId{1};

    mutable std::mutex m_mutex; // guards everything below, up to the thread-only members
    State m_state = State::Suspended;
    std::atomic<bool> m_invalidated{false}; // a lock-free copy of the state, for the frame loop
    int m_socket;
    bool m_wantsConnection = false;
    bool m_connectAttempted = false;
    int m_writeError = 0;
    std::deque<Outgoing> m_outgoing;
    qsizetype m_outgoingBytes = 0;
    int m_waitingForRoom = 0;
    std::condition_variable m_room;
    std::map<quint32, Pending> m_pending;
    std::deque<std::function<void()>> m_tasks;
    std::shared_ptr<const XpcExportedHandler> m_exportedHandler;
    std::function<void()> m_interruptionHandler;
    std::function<void()> m_invalidationHandler;
    std::thread m_thread;

    // Only the connection's thread touches these.
    XpcFrameDecoder m_decoder;
    std::deque<XpcFileDescriptor> m_received;
    std::vector<char> m_readBuffer;
};
