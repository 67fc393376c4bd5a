#include "platform/MainQueue.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <memory>
#include <mutex>

namespace {

// Qt's event queue hands a block over under locks that thread checkers cannot see (futexes
// in uninstrumented code). The block is handed over through this mutex as well: released by
// the posting thread once the block is in place, taken by the main thread before running it,
// so the order is visible to them. Nothing else changes.
std::mutex& handOver()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

namespace MainQueue {

void async(std::function<void()> block)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    // Only the queued call holds it, so it is let go on the main thread.
    auto given = std::make_shared<std::function<void()>>(std::move(block));
    {
        const std::lock_guard placed(handOver());
    }
    QMetaObject::invokeMethod(
        app,
        [given = std::move(given)] {
            {
                const std::lock_guard taken(handOver());
            }
            if (*given)
                (*given)();
        },
        Qt::QueuedConnection);
}

void asyncAfter(std::chrono::milliseconds delay, std::function<void()> block)
{
    async([delay, block = std::move(block)]() mutable {
        QTimer::singleShot(delay, QCoreApplication::instance(), std::move(block));
    });
}

bool isMainThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace MainQueue
