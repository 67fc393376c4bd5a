#pragma once

#include "platform/Diagnostics.h"
#include "platform/XpcFrameEncoder.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

// Shared by the interprocess-link tests: waiting for what other threads report, and
// catching the lines the link writes to the diagnostics.
namespace XpcTest {

using namespace std::chrono_literals;

// State written by the link's threads and read by the test under one lock.
class Events
{
public:
    // Notifies under the lock, so a waiter that sees the change cannot destroy the
    // condition variable while it is still being notified.
    template <typename F> void update(F&& change)
    {
        std::lock_guard lock(m_mutex);
        change();
        m_condition.notify_all();
    }
    template <typename P> bool waitUntil(P&& done, std::chrono::milliseconds timeout = 10s)
    {
        std::unique_lock lock(m_mutex);
        return m_condition.wait_for(lock, timeout, std::forward<P>(done));
    }
    template <typename F> auto read(F&& get)
    {
        std::lock_guard lock(m_mutex);
        return get();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
};

// Collects the diagnostics lines for the life of the object.
class DiagnosticsCapture
{
public:
    DiagnosticsCapture()
    {
        Diagnostics::setSink([this](const QString& line) { m_events.update([&] { m_lines.append(line); }); });
    }
    ~DiagnosticsCapture() { Diagnostics::setSink(nullptr); }
    bool waitForLine(const QString& part, std::chrono::milliseconds timeout = 10s)
    {
        return m_events.waitUntil(
            [&] {
                return std::any_of(m_lines.cbegin(), m_lines.cend(),
                                   [&](const QString& l) { return l.contains(part); });
            },
            timeout);
    }
    QStringList lines()
    {
        return m_events.read([&] { return m_lines; });
    }

private:
    Events m_events;
    QStringList m_lines;
};

inline QByteArray frameBytes(const XpcFrame& frame)
{
    return XpcFrameEncoder::encode(frame).value_or(QByteArray());
}

inline XpcFrame callFrame(const QString& selector, XpcArguments arguments, quint32 callId = 0)
{
    XpcFrame frame;
    frame.kind = callId ? XpcFrameKind::CallWithReply : XpcFrameKind::Call;
    frame.callId = callId;
    frame.selector = selector;
    frame.arguments = std::move(arguments);
    return frame;
}

// A plain blocking client socket to path, for writing raw bytes; -1 on failure.
int rawConnect(const QString& path);
// Writes all bytes; false when the peer is gone.
bool rawWrite(int socket, const QByteArray& bytes);
// Reads until the peer closes (or timeout); what arrived.
QByteArray rawReadToEnd(int socket, std::chrono::milliseconds timeout = 10s);

// A unique, valid service name for the running test.
QString serviceName(const char* suffix = "");

} // namespace XpcTest
