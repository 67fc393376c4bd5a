#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

// A unit of work that can be cancelled before it runs.
class WorkItem
{
public:
    explicit WorkItem(std::function<void()> block) : m_block(std::move(block)) {}
    void cancel() { m_cancelled = true; }
    bool isCancelled() const { return m_cancelled; }
    void perform()
    {
        if (!m_cancelled)
            m_block();
    }

private:
    std::function<void()> m_block;
    std::atomic<bool> m_cancelled{false};
};

// A labelled serial queue: one worker thread runs the blocks one after another, each at or
// after its due time, in the order they fall due (ties in the order they were added).
class SerialQueue
{
public:
    explicit SerialQueue(QString label);
    ~SerialQueue(); // runs what is already due, drops delayed work, joins the thread
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    QString label() const { return m_label; }
    void async(std::function<void()> block);
    void asyncAfter(std::chrono::milliseconds delay, std::shared_ptr<WorkItem> item);
    void asyncAfter(std::chrono::milliseconds delay, std::function<void()> block);
    // Runs the block on the queue and waits for it.
    void sync(const std::function<void()>& block);
    bool isCurrent() const { return std::this_thread::get_id() == m_thread.get_id(); }

private:
    struct Entry
    {
        std::chrono::steady_clock::time_point due;
        quint64 sequence;
        std::shared_ptr<WorkItem> item;
        bool operator>(const Entry& other) const
        {
            return due != other.due ? due > other.due : sequence > other.sequence;
        }
    };
    void run();

    QString m_label;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> m_entries;
    quint64 m_nextSequence = 0;
    bool m_stopping = false;
    std::thread m_thread;
};
