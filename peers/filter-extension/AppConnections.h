#pragma once

#include "platform/XpcConnection.h"

#include <QList>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <sys/types.h>

// The application's open connections to the extension, as the listener accepted them. A
// connection leaves when its peer goes away. Any thread.
class AppConnections
{
public:
    void add(const std::shared_ptr<XpcConnection>& connection);
    // From the connection's interruption handler; the object may be let go on its own thread.
    void remove(const XpcConnection* connection);
    void markRegistered(const XpcConnection* connection);
    // From each connection's invalidation handler: its thread is done with us.
    void finished();

    int count() const;
    int registeredCount() const;
    QList<pid_t> processIdentifiers() const;
    std::vector<std::shared_ptr<XpcConnection>> all() const;

    // Runs after every change of the table, on the changing thread.
    void setChangeHandler(std::function<void()> handler);

    // Invalidates every connection and waits, at most timeout, until each has finished.
    bool closeAll(std::chrono::milliseconds timeout);

private:
    struct Entry
    {
        std::shared_ptr<XpcConnection> connection;
        bool registered = false;
    };
    void changed();

    mutable std::mutex m_mutex;
    std::condition_variable m_finished;
    std::vector<Entry> m_entries;
    int m_running = 0; // accepted and not yet finished
    std::function<void()> m_changed;
};
