#include "core/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

void writeLines(benchmark::State& state, bool console)
{
    QTemporaryDir dir;
    Log log(10240, 4, dir.path(), QStringLiteral("bench"), console);
    const QString message = QStringLiteral("IpcConnection received message 0 from the extension with a payload");
    for (auto _ : state)
        log.write(message);
    state.SetItemsProcessed(state.iterations());
}

void BM_LogWrite(benchmark::State& state)
{
    writeLines(state, false);
}

// Console echo on: standard output goes to /dev/null so the terminal is not measured.
void BM_LogWriteWithConsoleEcho(benchmark::State& state)
{
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, STDOUT_FILENO);
    writeLines(state, true);
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(devNull);
    close(saved);
}

} // namespace

BENCHMARK(BM_LogWrite);
BENCHMARK(BM_LogWriteWithConsoleEcho);
BENCHMARK_MAIN();
