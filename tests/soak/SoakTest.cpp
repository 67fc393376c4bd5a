// The program's delegate in this process, signed in against both stand-ins, supervised
// every 200 ms for a minute while the extension streams blocked requests and is killed and
// restarted, and "Sync Settings" is chosen from the status menu every second. Running the
// delegate here lets the test watch its main thread directly.
#include "DelegateHarness.h"
#include "RunningApp.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr auto interval = 200ms;
constexpr auto soakLength = 60s;
constexpr auto window = 10s;
constexpr int killCount = 3;

struct Sample
{
    qint64 atMs = 0;
    long threads = 0;
    long descriptors = 0;
    long residentKiB = 0;
};

long statusField(const QByteArray& status, const QByteArray& name)
{
    for (const QByteArray& line : status.split('\n'))
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').first().toLong();
    return -1;
}

Sample sampleProcess(qint64 atMs)
{
    QFile file(QStringLiteral("/proc/self/status"));
    const QByteArray status = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const long descriptors = long(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
    return Sample{atMs, statusField(status, "Threads"), descriptors, statusField(status, "VmRSS")};
}

Sample worstOf(const std::vector<Sample>& samples, qint64 fromMs, qint64 toMs)
{
    Sample worst;
    for (const Sample& s : samples) {
        if (s.atMs < fromMs || s.atMs > toMs)
            continue;
        worst.threads = std::max(worst.threads, s.threads);
        worst.descriptors = std::max(worst.descriptors, s.descriptors);
        worst.residentKiB = std::max(worst.residentKiB, s.residentKiB);
    }
    return worst;
}

// Nanoseconds this thread has waited for a CPU so far (the second field of its schedstat):
// on a busy machine the main thread can wait for a CPU without being blocked by the program.
qint64 runQueueWaitNs()
{
    QFile file(QStringLiteral("/proc/thread-self/schedstat"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = file.readAll().trimmed().split(' ');
    return fields.size() >= 2 ? fields.at(1).toLongLong() : 0;
}

// Polls a condition from a thread without an event loop.
template <typename Condition>
bool pollFor(Condition condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

} // namespace

TEST(Soak, AMinuteOfSupervisionEventsRestartsAndSyncs)
{
    DelegateHarness harness;
    ASSERT_TRUE(harness.launchAndRegister(DelegateHarness::shortTiming(interval, interval)));
    ASSERT_TRUE(harness.settle());
    AppDelegate& delegate = harness.delegate();
    FilterExtensionPeer& extension = harness.extension();
    // The menu is rebuilt with every user-data update: its item is looked up each time.
    const auto syncSettings = [&]() -> QAction* {
        for (QAction* action : delegate.statusMenu()->actions())
            if (action->text() == QStringLiteral("Sync Settings"))
                return action;
        return nullptr;
    };
    ASSERT_NE(syncSettings(), nullptr);

    QElapsedTimer clock;
    clock.start();
    const int runsAtStart = delegate.supervisionRunCount();

    // The main thread: a heartbeat, the status menu's "Sync Settings" every second, samples.
    // A stall is the gap between beats beyond their period; what the program answers for is
    // that gap less the time the thread only waited for a CPU (which a loaded machine adds).
    qint64 lastBeat = clock.elapsed();
    qint64 lastWaitNs = runQueueWaitNs();
    qint64 worstStall = 0;
    qint64 worstStallAt = 0;
    qint64 worstWallStall = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        const qint64 waitNs = runQueueWaitNs();
        const qint64 gap = now - lastBeat - heartbeat.interval();
        const qint64 stall = gap - (waitNs - lastWaitNs) / 1000000;
        worstWallStall = std::max(worstWallStall, gap);
        if (stall > worstStall) {
            worstStall = stall;
            worstStallAt = now;
        }
        lastBeat = now;
        lastWaitNs = waitNs;
    });
    heartbeat.start(10);
    int syncs = 0;
    qint64 slowestSync = 0;
    QTimer syncTimer;
    QObject::connect(&syncTimer, &QTimer::timeout, [&] {
        if (QAction* action = syncSettings()) {
            const qint64 started = clock.elapsed();
            action->trigger();
            slowestSync = std::max(slowestSync, clock.elapsed() - started);
            ++syncs;
        }
    });
    syncTimer.start(1000);
    std::vector<Sample> samples;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { samples.push_back(sampleProcess(clock.elapsed())); });
    samples.push_back(sampleProcess(0));
    sampler.start(500);

    // Another thread drives the extension: a stream of blocked requests, and kills it a few
    // times; the program has to bring it back and register anew each time.
    std::mutex mutex;
    std::condition_variable wake;
    bool done = false;
    std::atomic<qint64> streamed{0};
    std::atomic<int> restarts{0};
    std::vector<std::string> restartProblems;
    std::string restartTimes; // read after the driver has ended
    std::thread driver([&] {
        const auto stopping = [&](std::chrono::milliseconds pause) {
            std::unique_lock lock(mutex);
            return wake.wait_for(lock, pause, [&] { return done; });
        };
        const auto streamUntil = [&](qint64 untilMs) {
            while (clock.elapsed() < untilMs) {
                if (extension.sendUrlBlocked(QStringLiteral("https://soak.example/"), QStringLiteral("Soak"), {}, 20))
                    streamed += 20;
                if (stopping(20ms)) // about a thousand requests a second
                    return false;
            }
            return true;
        };
        const qint64 total = std::chrono::milliseconds(soakLength).count();
        for (int kill = 1; kill <= killCount; ++kill) {
            if (!streamUntil(total * kill / (killCount + 1)))
                return;
            const auto before = StartedExtension::processId();
            const int registrations = DelegateHarness::logCount(DelegateHarness::registered);
            restartTimes += " " + std::to_string(clock.elapsed());
            StartedExtension::kill(SIGKILL);
            const bool back = pollFor(
                [&] {
                    const auto pid = StartedExtension::processId();
                    return pid && pid != before && StartedExtension::isRunning(*pid);
                },
                30s);
            const bool answering = back && extension.attach(30s);
            // From the moment it answers, the next run registers: at most one more run starts
            // before the registration shows (the one under way may have missed it).
            const int runsWhenBack = delegate.supervisionRunCount();
            const bool registered = answering && pollFor([&] {
                return DelegateHarness::logCount(DelegateHarness::registered) > registrations;
            }, 30s);
            const int runsWhenRegistered = delegate.supervisionRunCount();
            if (!registered || runsWhenRegistered > runsWhenBack + 2)
                restartProblems.push_back("restart " + std::to_string(kill) + ": back " + std::to_string(back) +
                                          ", registered " + std::to_string(registered) + " after " +
                                          std::to_string(runsWhenRegistered - runsWhenBack) + " runs");
            else
                ++restarts;
        }
        streamUntil(total);
    });

    // The soak's length itself: the event loop runs meanwhile.
    EXPECT_TRUE(QTest::qWaitFor([&] { return clock.elapsed() >= std::chrono::milliseconds(soakLength).count(); },
                                int(std::chrono::milliseconds(soakLength).count()) + 1000));
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    wake.notify_all();
    // The driver may still wait for the last restart; keep the event loop going meanwhile.
    std::atomic<bool> joined{false};
    std::thread joiner([&] {
        driver.join();
        joined = true;
    });
    const bool driverEnded = QTest::qWaitFor([&] { return joined.load(); }, 120000);
    joiner.join();
    EXPECT_TRUE(driverEnded);
    heartbeat.stop();
    syncTimer.stop();
    sampler.stop();
    const qint64 elapsed = clock.elapsed();
    const int runs = delegate.supervisionRunCount() - runsAtStart;

    // The end: the extension asks the program to quit, which ends with status 0.
    QSignalSpy exits(&delegate, &AppDelegate::exitRequested);
    ASSERT_TRUE(extension.attach(30s));
    ASSERT_TRUE(extension.sendDisable());
    ASSERT_TRUE(exits.wait(30000) || exits.count() > 0);
    EXPECT_EQ(exits.first().first().toInt(), 0);

    const qint64 windowMs = std::chrono::milliseconds(window).count();
    const Sample first = worstOf(samples, 0, windowMs);
    const Sample last = worstOf(samples, elapsed - windowMs, elapsed);
    std::printf("soak: %lld ms, %d supervision runs, %d restarts re-registered, %lld blocked requests streamed, %d syncs\n"
                "soak: worst main-thread stall %lld ms (%lld ms in), %lld ms counting the waits for a CPU\n"
                "soak: first 10 s: %ld threads, %ld descriptors, %ld KiB resident\n"
                "soak: last 10 s:  %ld threads, %ld descriptors, %ld KiB resident\n",
                static_cast<long long>(elapsed), runs, restarts.load(), static_cast<long long>(streamed.load()), syncs,
                static_cast<long long>(worstStall), static_cast<long long>(worstStallAt),
                static_cast<long long>(worstWallStall), first.threads, first.descriptors, first.residentKiB, last.threads,
                last.descriptors, last.residentKiB);
    std::printf("soak: extension killed at (ms):%s; slowest \"Sync Settings\" %lld ms\n", restartTimes.c_str(),
                static_cast<long long>(slowestSync));
    std::fflush(stdout);

    EXPECT_GE(runs, 200);
    EXPECT_EQ(restarts.load(), killCount);
    for (const std::string& problem : restartProblems)
        ADD_FAILURE() << problem;
    EXPECT_GT(streamed.load(), 0);
    EXPECT_LE(worstStall, 100);
    EXPECT_LE(last.threads, first.threads + 2);
    EXPECT_LE(last.descriptors, first.descriptors + 8);
    EXPECT_LE(last.residentKiB, first.residentKiB + 16 * 1024);
}
