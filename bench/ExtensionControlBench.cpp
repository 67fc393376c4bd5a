// What one supervision run costs on the platform side (the tunnel status, which reads the
// network preferences and /proc), and how long starting the extension's process takes.
#include "platform/Bundle.h"
#include "platform/ExtensionProcess.h"
#include "platform/ProxyPreferences.h"
#include "platform/TransparentProxyManager.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <csignal>

namespace {

const QString providerId = QStringLiteral("org.norvane.bench.provider");

void write(const QString& path, const QByteArray& content)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

// Points every folder the platform uses into a temporary one, with a bundle holding one
// network extension whose executable sleeps.
struct Sandbox
{
    QTemporaryDir dir;
    QString executable;

    Sandbox()
    {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
            qputenv(name, dir.path().toUtf8() + "/" + name);
        qputenv("NORVANE_RUNTIME_DIR", dir.path().toUtf8() + "/run");
        const QString bundle = dir.path() + QStringLiteral("/Bench.app");
        const QString extension = bundle + QStringLiteral("/Contents/Library/SystemExtensions/provider.systemextension");
        write(extension + QStringLiteral("/Contents/Info.plist"),
              "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
              "<key>CFBundleIdentifier</key><string>" + providerId.toUtf8() + "</string>"
              "<key>CFBundleExecutable</key><string>provider</string>"
              "<key>NetworkExtension</key><dict/></dict></plist>");
        executable = extension + QStringLiteral("/Contents/MacOS/provider");
        write(executable, "#!/bin/sh\nexec sleep 600\n");
        QFile::setPermissions(executable, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        Bundle::setMainBundlePath(bundle);
    }
};

void stop(const ExtensionProcess& process)
{
    if (const auto pid = process.runningProcessId()) {
        ::kill(pid_t(*pid), SIGKILL);
        while (ExtensionProcess::processStartTime(*pid)) {
        }
    }
}

void BM_TunnelStatusWithProviderRunning(benchmark::State& state)
{
    Sandbox sandbox;
    auto manager = TransparentProxyManager::create();
    manager->setProtocolConfiguration(TunnelProviderProtocol{QStringLiteral("Norvane Filtering Proxy"), QString()});
    manager->setEnabled(true);
    manager->saveToPreferences();
    const ExtensionProcess process(providerId);
    if (process.start(sandbox.executable) || manager->connection().startVPNTunnel()) {
        state.SkipWithError("cannot start the provider");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(manager->connection().status());
    if (manager->connection().status() != VPNStatus::connected)
        state.SkipWithError("the status was not connected");
    stop(process);
}

void BM_ExtensionStart(benchmark::State& state)
{
    Sandbox sandbox;
    const ExtensionProcess process(providerId);
    for (auto _ : state) {
        if (process.start(sandbox.executable)) {
            state.SkipWithError("cannot start the extension");
            break;
        }
        state.PauseTiming();
        stop(process);
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_TunnelStatusWithProviderRunning)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExtensionStart)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
