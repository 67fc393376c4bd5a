#include "platform/SerialQueue.h"

#include <future>

#include <pthread.h>

SerialQueue::SerialQueue(QString label) : m_label(std::move(label))
{
    m_thread = std::thread([this] { run(); });
    // Thread names are limited to 15 bytes; enough to tell the queues apart in a debugger.
    pthread_setname_np(m_thread.native_handle(), m_label.left(15).toUtf8().constData());
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_condition.notify_all();
    if (m_thread.joinable()) {
        if (isCurrent())
            m_thread.detach();
        else
            m_thread.join();
    }
}

void SerialQueue::async(std::function<void()> block)
{
    asyncAfter(std::chrono::milliseconds(0), std::make_shared<WorkItem>(std::move(block)));
}

void SerialQueue::asyncAfter(std::chrono::milliseconds delay, std::function<void()> block)
{
    asyncAfter(delay, std::make_shared<WorkItem>(std::move(block)));
}

void SerialQueue::asyncAfter(std::chrono::milliseconds delay, std::shared_ptr<WorkItem> item)
{
    {
        std::lock_guard lock(m_mutex);
        m_entries.push(Entry{std::chrono::steady_clock::now() + delay, m_nextSequence++, std::move(item)});
    }
    m_condition.notify_all();
}

void SerialQueue::sync(const std::function<void()>& block)
{
    if (isCurrent()) {
        block();
        return;
    }
    std::promise<void> done;
    async([&] {
        block();
        done.set_value();
    });
    done.get_future().wait();
}

void SerialQueue::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_entries.empty()) {
            if (m_stopping)
                return;
            m_condition.wait(lock);
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        const Entry& next = m_entries.top();
        if (next.due > now) {
            if (m_stopping)
                return;
            // A copy: the wait releases the lock, and a push may move the entries (and
            // the time point the wait still reads).
            const auto due = next.due;
            m_condition.wait_until(lock, due);
            continue;
        }
        auto item = next.item;
        m_entries.pop();
        lock.unlock();
        item->perform();
        // Let go before locking again: what the block holds may use this queue as it goes.
        item.reset();
        lock.lock();
    }
}
