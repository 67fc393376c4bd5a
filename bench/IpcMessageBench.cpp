#include "control/DisableMessage.h"
#include "control/UrlBlockedMessage.h"

#include <benchmark/benchmark.h>

namespace {

// A blocked-request event as the extension sends it: every delivery of the busiest message
// goes through the factory once.
void BM_CreateUrlBlockedMessage(benchmark::State& state)
{
    UrlBlockedMessage event;
    event.url = QStringLiteral("https://ads.example-tracker.com/pixel/v2/collect?id=8f3e2a&ref=news");
    event.category = QStringLiteral("Advertising");
    event.textTrigger = QStringLiteral("ads.example-tracker.com");
    const IpcDictionary payload = event.toDictionary();
    for (auto _ : state)
        benchmark::DoNotOptimize(IpcMessage::create(rawValue(IpcMessageId::urlBlocked), payload, nullptr));
    state.SetItemsProcessed(state.iterations());
}

void BM_UrlBlockedToDictionary(benchmark::State& state)
{
    UrlBlockedMessage event;
    event.url = QStringLiteral("https://ads.example-tracker.com/pixel/v2/collect?id=8f3e2a&ref=news");
    event.category = QStringLiteral("Advertising");
    event.textTrigger = QStringLiteral("ads.example-tracker.com");
    for (auto _ : state)
        benchmark::DoNotOptimize(event.toDictionary());
    state.SetItemsProcessed(state.iterations());
}

void BM_CreateDisableMessage(benchmark::State& state)
{
    const IpcDictionary payload{{QStringLiteral("bundlePath"), QStringLiteral("/opt/Norvane.app")},
                                {QStringLiteral("guiProcessPid"), QStringLiteral("-2147483648")}};
    for (auto _ : state)
        benchmark::DoNotOptimize(IpcMessage::create(rawValue(IpcMessageId::disable), payload, nullptr));
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_CreateUrlBlockedMessage);
BENCHMARK(BM_UrlBlockedToDictionary);
BENCHMARK(BM_CreateDisableMessage);
BENCHMARK_MAIN();
