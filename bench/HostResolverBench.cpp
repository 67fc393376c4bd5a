#include "platform/HostResolver.h"

#include <benchmark/benchmark.h>

namespace {

// The resolver alone, answered from /etc/hosts.
void BM_SystemLookupLocalhost(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(HostResolver::systemLookup("localhost"));
}

// The same through HostResolver, which resolves on a thread of its own so that a resolver
// that does not answer can be given up: what that costs per resolution.
void BM_HostResolverLocalhost(benchmark::State& state)
{
    for (auto _ : state) {
        HostResolver resolver(QStringLiteral("localhost"));
        benchmark::DoNotOptimize(resolver.startInfoResolution());
    }
}

void BM_NumericHost(benchmark::State& state)
{
    const QList<QByteArray> addresses = HostResolver::systemLookup("127.0.0.1");
    if (addresses.isEmpty()) {
        state.SkipWithError("127.0.0.1 did not resolve");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(HostResolver::numericHost(addresses.first()));
}

} // namespace

BENCHMARK(BM_SystemLookupLocalhost);
BENCHMARK(BM_HostResolverLocalhost);
BENCHMARK(BM_NumericHost);
BENCHMARK_MAIN();
