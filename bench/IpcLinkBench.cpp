// The link against the filter-extension stand-in in its own process: the round trip of
// register: and the rate at which blocked-request events reach the application's handler.
#include "control/IpcConnection.h"
#include "control/IpcProtocol.h"
#include "platform/Bundle.h"
#include "platform/XpcConnection.h"

#include "FilterExtensionPeer.h"
#include "TestEnvironment.h"

#include <QApplication>

#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <condition_variable>
#include <future>
#include <unistd.h>

namespace {

FilterExtensionPeer* extension = nullptr;

void BM_RegisterRoundTrip(benchmark::State& state)
{
    XpcConnection connection(QString::fromLatin1(FilterExtensionPeer::serviceName));
    connection.resume();
    std::vector<double> samples;
    for (auto _ : state) {
        // The round trip ends when the completion runs (on the connection's thread), which is
        // where the application carries on; waking this thread afterwards is the benchmark's.
        std::promise<bool> answered;
        std::chrono::steady_clock::time_point completed;
        const auto started = std::chrono::steady_clock::now();
        XpcInvocation registration;
        registration.selector = IpcProtocol::registerSelector;
        connection.call(
            std::move(registration),
            [&](const XpcArguments& reply) {
                completed = std::chrono::steady_clock::now();
                answered.set_value(!reply.isEmpty() && reply.first().toBool());
            },
            [&](const XpcError&) { answered.set_value(false); });
        if (!answered.get_future().get()) {
            state.SkipWithError("register: was not answered");
            break;
        }
        const double seconds = std::chrono::duration<double>(completed - started).count();
        state.SetIterationTime(seconds);
        samples.push_back(seconds);
    }
    if (samples.empty())
        return;
    std::sort(samples.begin(), samples.end());
    state.counters["median_us"] = samples[samples.size() / 2] * 1e6;
    state.counters["p99_us"] = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)] * 1e6;
    connection.invalidate();
}

void BM_BlockedEventsToHandler(benchmark::State& state)
{
    const qint64 events = state.range(0);
    std::mutex mutex;
    std::condition_variable arrived;
    qint64 count = 0;
    IpcConnection::shared().addMessageHandler(IpcMessageId::urlBlocked, [&](const std::shared_ptr<IpcMessage>&) {
        std::lock_guard lock(mutex);
        if (++count == events)
            arrived.notify_all();
    });
    for (auto _ : state) {
        {
            std::lock_guard lock(mutex);
            count = 0;
        }
        const auto started = std::chrono::steady_clock::now();
        if (!extension->sendUrlBlocked(QStringLiteral("https://example.com/page"), QStringLiteral("Adult"), {}, events)) {
            state.SkipWithError("the extension has no app connection");
            break;
        }
        std::unique_lock lock(mutex);
        if (!arrived.wait_for(lock, std::chrono::seconds(60), [&] { return count == events; })) {
            state.SkipWithError("events went missing");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    }
    state.SetItemsProcessed(state.iterations() * events);
    IpcConnection::shared().removeMessageHandler(IpcMessageId::urlBlocked);
}

} // namespace

BENCHMARK(BM_RegisterRoundTrip)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(5000);
BENCHMARK(BM_BlockedEventsToHandler)->Arg(200000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv)
{
    TestEnvironment::isolate();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Bundle::setMainBundlePath(QStringLiteral(NORVANE_TEST_BUNDLE_DIR));
    FilterExtensionPeer peer;
    if (!peer.start()) {
        std::fprintf(stderr, "the filter-extension stand-in did not start\n");
        return 1;
    }
    extension = &peer;
    std::promise<bool> registered;
    IpcConnection::shared().connectToProvider(getpid(), [&](bool ok) { registered.set_value(ok); });
    if (!registered.get_future().get()) {
        std::fprintf(stderr, "the link did not register\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
