// Time from process start to the main window shown, and the program's peak memory then.
// The program runs offscreen with a fresh, signed-out home (so it shows its window at start)
// and no extension to talk to. The start-up sequence shows the window before it switches
// the log to "gui", so the first appearance of gui-0.log marks a moment just after the
// window is up: the figure is an upper bound for "window shown".
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <chrono>
#include <fcntl.h>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

long peakRssKiB(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

void BM_StartToWindowShown(benchmark::State& state)
{
    const QByteArray program = QByteArray(NORVANE_TEST_BUNDLE_DIR) + "/Contents/MacOS/Norvane";
    long rss = 0;
    for (auto _ : state) {
        QTemporaryDir root;
        const QString base = root.path();
        QDir().mkpath(base + QStringLiteral("/run"));
        QFile::setPermissions(base + QStringLiteral("/run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QList<QByteArray> variables = {"QT_QPA_PLATFORM=offscreen",
                                       "HOME=" + (base + QStringLiteral("/home")).toUtf8(),
                                       "XDG_CONFIG_HOME=" + (base + QStringLiteral("/config")).toUtf8(),
                                       "XDG_STATE_HOME=" + (base + QStringLiteral("/state")).toUtf8(),
                                       "XDG_DATA_HOME=" + (base + QStringLiteral("/data")).toUtf8(),
                                       "XDG_RUNTIME_DIR=" + (base + QStringLiteral("/run")).toUtf8(),
                                       "NORVANE_RUNTIME_DIR=" + (base + QStringLiteral("/run/norvane")).toUtf8(),
                                       "PATH=/usr/bin:/bin"};
        std::vector<char*> envp;
        for (QByteArray& variable : variables)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        const QString marker = base + QStringLiteral("/state/norvane/Logs/gui-0.log");

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        char* argv[] = {const_cast<char*>(program.constData()), nullptr};
        const auto started = std::chrono::steady_clock::now();
        pid_t pid = 0;
        if (posix_spawn(&pid, program.constData(), &actions, nullptr, argv, envp.data()) != 0) {
            state.SkipWithError("cannot start the program");
            break;
        }
        posix_spawn_file_actions_destroy(&actions);
        while (!QFileInfo::exists(marker)) {
            if (std::chrono::steady_clock::now() - started > std::chrono::seconds(20))
                break;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        const auto shown = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(shown - started).count());
        rss = std::max(rss, peakRssKiB(pid));
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
    }
    state.counters["peak_rss_MiB"] = static_cast<double>(rss) / 1024.0;
}

} // namespace

BENCHMARK(BM_StartToWindowShown)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK_MAIN();
