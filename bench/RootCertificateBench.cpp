// The root-certificate installation against a real NSS database in a temporary HOME: the
// keychain lookup every request starts with (the database is opened and closed per call),
// the whole request for a certificate that is stored already, and one that replaces it.
#include "control/CertificateHelper.h"
#include "core/Log.h"
#include "platform/CommandRunner.h"
#include "platform/Keychain.h"

#include "TestCertificates.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {
const QString label = QStringLiteral("Norvane Filtering Certificate");

// The trust commands do not exist here; leave the cost of starting bash out of the figures.
class SilentRunner : public CommandRunner
{
public:
    QString run(const QString&, bool) override { return {}; }
};

std::shared_ptr<const FileHandle> handleOn(const QString& path, const QByteArray& pem)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(pem) != pem.size())
        return nullptr;
    file.close();
    return std::make_shared<const FileHandle>(FileHandle::openForReading(path));
}

void BM_KeychainCopyCertificate(benchmark::State& state)
{
    Keychain::deleteCertificates(label);
    Keychain::addCertificate(QSslCertificate(TestCertificates::pem(1), QSsl::Pem), label);
    for (auto _ : state) {
        QSslCertificate found;
        if (Keychain::copyCertificate(label, &found) != SecurityStatus::success)
            state.SkipWithError("lookup failed");
        benchmark::DoNotOptimize(found);
    }
}

void BM_InstallRootCertificateAlreadyStored(benchmark::State& state)
{
    const QString path = qEnvironmentVariable("HOME") + QStringLiteral("/stored.pem");
    const QByteArray pem = TestCertificates::pem(1);
    Keychain::deleteCertificates(label);
    installRootCertificate(0, handleOn(path, pem), path);
    for (auto _ : state) {
        if (installRootCertificate(0, handleOn(path, pem), path))
            state.SkipWithError("the stored certificate was replaced");
    }
}

void BM_InstallRootCertificateReplacing(benchmark::State& state)
{
    const QString path = qEnvironmentVariable("HOME") + QStringLiteral("/replacing.pem");
    const QByteArray pems[] = {TestCertificates::pem(1), TestCertificates::pem(2)};
    int next = 0;
    Keychain::deleteCertificates(label);
    for (auto _ : state) {
        state.PauseTiming();
        auto handle = handleOn(path, pems[next]);
        next ^= 1;
        state.ResumeTiming();
        if (!installRootCertificate(0, handle, path))
            state.SkipWithError("installation failed");
    }
}
} // namespace

BENCHMARK(BM_KeychainCopyCertificate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InstallRootCertificateAlreadyStored)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InstallRootCertificateReplacing)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    // Never the real user's database or log.
    QTemporaryDir home;
    const QByteArray root = home.path().toUtf8();
    qputenv("HOME", root);
    qputenv("XDG_STATE_HOME", root + "/state");
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_DATA_HOME", root + "/data");
    Log::shared().setPrintToConsole(false);
    CommandRunner::setShared(std::make_shared<SilentRunner>());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
