// The interprocess link on its own: the round trip of a call with a reply (median and 99th
// percentile as counters, in microseconds) and how many one-way calls a handler takes per
// second. Both ends live in this process but talk over the real socket, each with its
// reader thread, as the application and the extension do.
#include "platform/XpcConnection.h"
#include "platform/XpcListener.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

namespace {

// A listener whose connections answer "register:" with true and count the one-way
// "receiveMessageWithId:data:fileHandle:" calls they get.
class Service
{
public:
    Service() : m_listener(QStringLiteral("org.norvane.bench.xpc"))
    {
        m_listener.setShouldAcceptNewConnection([this](const std::shared_ptr<XpcConnection>& connection) {
            connection->setExportedHandler([this](XpcInvocation invocation, XpcReplyBlock reply) {
                if (reply.isValid()) {
                    reply({XpcValue::fromBool(true)});
                    return;
                }
                if (received.fetch_add(1) + 1 == target.load()) {
                    received.notify_all();
                }
                benchmark::DoNotOptimize(invocation);
            });
            connection->resume();
            std::lock_guard lock(m_mutex);
            m_connections.push_back(connection);
            return true;
        });
        m_listener.resume();
    }
    ~Service()
    {
        m_listener.invalidate();
        std::lock_guard lock(m_mutex);
        for (auto& connection : m_connections)
            connection->invalidate();
    }

    std::atomic<qint64> received{0};
    std::atomic<qint64> target{-1};

private:
    XpcListener m_listener;
    std::mutex m_mutex;
    std::vector<std::shared_ptr<XpcConnection>> m_connections;
};

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    const auto index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index), values.end());
    return values[index];
}

void BM_XpcRoundTrip(benchmark::State& state)
{
    Service service;
    XpcConnection client(QStringLiteral("org.norvane.bench.xpc"));
    client.resume();
    std::atomic<int> answers{0};
    const auto roundTrip = [&] {
        const int before = answers.load();
        client.call(
            {QStringLiteral("register:"), {}, {}},
            [&](const XpcArguments&) {
                answers.fetch_add(1);
                answers.notify_all();
            },
            [&](const XpcError&) {
                answers.fetch_add(1);
                answers.notify_all();
            });
        answers.wait(before);
    };
    roundTrip(); // connects
    std::vector<double> microseconds;
    microseconds.reserve(1 << 20);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        roundTrip();
        microseconds.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["median_us"] = percentile(microseconds, 0.5);
    state.counters["p99_us"] = percentile(microseconds, 0.99);
    state.SetItemsProcessed(state.iterations());
}

// One-way calls shaped like a blocked-request event, as fast as one sender can make them,
// until the handler has taken them all.
void BM_XpcOneWayThroughput(benchmark::State& state)
{
    const qint64 batch = state.range(0);
    Service service;
    XpcConnection client(QStringLiteral("org.norvane.bench.xpc"));
    client.resume();
    const XpcValue payload = XpcValue::fromTextDictionary(
        {{QStringLiteral("url"), QStringLiteral("https://ads.example.com/banner?id=1234")},
         {QStringLiteral("category"), QStringLiteral("Advertising")},
         {QStringLiteral("textTrigger"), QString()}});
    for (auto _ : state) {
        const qint64 start = service.received.load();
        service.target = start + batch;
        for (qint64 i = 0; i < batch; ++i)
            client.call({QStringLiteral("receiveMessageWithId:data:fileHandle:"),
                         {XpcValue::fromInt16(0), payload},
                         {}});
        for (qint64 now = service.received.load(); now < start + batch; now = service.received.load())
            service.received.wait(now);
    }
    state.SetItemsProcessed(state.iterations() * batch);
}

} // namespace

BENCHMARK(BM_XpcRoundTrip)->UseRealTime();
BENCHMARK(BM_XpcOneWayThroughput)->Arg(10000)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    // The sockets go to a folder of their own, never the user's runtime folder.
    QTemporaryDir runtime;
    qputenv("NORVANE_RUNTIME_DIR", (runtime.path() + QStringLiteral("/run")).toUtf8());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
