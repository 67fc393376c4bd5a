#include "AppConnections.h"

#include <algorithm>

void AppConnections::add(const std::shared_ptr<XpcConnection>& connection)
{
    {
        std::lock_guard lock(m_mutex);
        m_entries.push_back(Entry{connection, false});
        ++m_running;
    }
    changed();
}

void AppConnections::remove(const XpcConnection* connection)
{
    std::shared_ptr<XpcConnection> removed; // let go after the lock
    {
        std::lock_guard lock(m_mutex);
        const auto entry = std::find_if(m_entries.begin(), m_entries.end(),
                                        [&](const Entry& e) { return e.connection.get() == connection; });
        if (entry == m_entries.end())
            return;
        removed = std::move(entry->connection);
        m_entries.erase(entry);
    }
    changed();
}

void AppConnections::markRegistered(const XpcConnection* connection)
{
    {
        std::lock_guard lock(m_mutex);
        for (Entry& entry : m_entries) {
            if (entry.connection.get() == connection)
                entry.registered = true;
        }
    }
    changed();
}

void AppConnections::finished()
{
    std::lock_guard lock(m_mutex);
    --m_running;
    m_finished.notify_all();
}

int AppConnections::count() const
{
    std::lock_guard lock(m_mutex);
    return int(m_entries.size());
}

int AppConnections::registeredCount() const
{
    std::lock_guard lock(m_mutex);
    return int(
        std::count_if(m_entries.cbegin(), m_entries.cend(), [](const Entry& e) { return e.registered; }));
}

QList<pid_t> AppConnections::processIdentifiers() const
{
    std::lock_guard lock(m_mutex);
    QList<pid_t> pids;
    for (const Entry& entry : m_entries)
        pids.append(entry.connection->processIdentifier());
    return pids;
}

std::vector<std::shared_ptr<XpcConnection>> AppConnections::all() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::shared_ptr<XpcConnection>> connections;
    for (const Entry& entry : m_entries)
        connections.push_back(entry.connection);
    return connections;
}

void AppConnections::setChangeHandler(std::function<void()> handler)
{
    std::lock_guard lock(m_mutex);
    m_changed = std::move(handler);
}

bool AppConnections::closeAll(std::chrono::milliseconds timeout)
{
    std::vector<Entry> entries;
    {
        std::lock_guard lock(m_mutex);
        entries.swap(m_entries);
    }
    for (Entry& entry : entries)
        entry.connection->invalidate();
    entries.clear();
    std::unique_lock lock(m_mutex);
    return m_finished.wait_for(lock, timeout, [this] { return m_running <= 0; });
}

void AppConnections::changed()
{
    std::function<void()> handler;
    {
        std::lock_guard lock(m_mutex);
        handler = m_changed;
    }
    if (handler)
        handler();
}
