// Software updates: reading an appcast of 1,000 items, and an update of N MiB downloaded
// from the management-server stand-in over HTTPS, its signature checked and unpacked, with
// the time and the peak memory above the process's resident size just before (which must
// not grow with the archive's size).
#include "platform/AppcastParser.h"
#include "platform/UpdateInstallation.h"

#include "ManagementServerPeer.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QRandomGenerator>
#include <QSslCertificate>
#include <QTest>

#include <archive.h>
#include <archive_entry.h>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

ManagementServerPeer* server = nullptr;

QByteArray appcastOf(int count)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\" "
                     "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel><title>N</title>\n";
    for (int i = 0; i < count; ++i) {
        const QByteArray v = "1." + QByteArray::number(i / 100) + "." + QByteArray::number(i % 100);
        xml += "<item><title>Version " + v + "</title><sparkle:version>" + v +
               "</sparkle:version><sparkle:shortVersionString>" + v +
               "</sparkle:shortVersionString><pubDate>Tue, 01 Dec 2026 10:00:00 +0000</pubDate>"
               "<description><![CDATA[<ul><li>Faster filtering</li><li>Fixes</li></ul>]]></description>"
               "<enclosure url=\"https://updates.example.org/Norvane-" + v + ".tar.xz\" length=\"52428800\" "
               "type=\"application/octet-stream\" channel=\"" + (i % 2 ? "Beta" : "Stable") +
               "\" sparkle:edSignature=\"" + QByteArray(64, char('a' + i % 26)).toBase64() + "\"/></item>\n";
    }
    return xml + "</channel></rss>\n";
}

void BM_ParseAppcast(benchmark::State& state)
{
    const QByteArray document = appcastOf(int(state.range(0)));
    for (auto _ : state) {
        auto appcast = AppcastParser::parse(document);
        if (!appcast || appcast->items.size() != state.range(0))
            state.SkipWithError("the appcast did not parse");
        benchmark::DoNotOptimize(appcast);
    }
    state.SetBytesProcessed(state.iterations() * document.size());
    state.counters["feed_KiB"] = double(document.size()) / 1024;
}

long statusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

bool run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120'000) || process.exitCode() != 0)
        return false;
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(content);
}

QByteArray infoPlist(const QByteArray& version, const QByteArray& publicKey)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>CFBundleIdentifier</key><string>org.norvane.filter.mac</string>"
           "<key>CFBundleExecutable</key><string>Norvane</string>"
           "<key>CFBundleVersion</key><string>" + version + "</string>"
           "<key>SUPublicEDKey</key><string>" + publicKey + "</string></dict></plist>\n";
}

// A tar.gz of Norvane.app with a blob of random (incompressible) bytes, written piece by
// piece.
void writeArchive(const QString& path, qint64 blobSize)
{
    std::unique_ptr<archive, decltype(&archive_write_free)> writer(archive_write_new(), &archive_write_free);
    archive_write_set_format_pax_restricted(writer.get());
    archive_write_add_filter_gzip(writer.get());
    archive_write_set_filter_option(writer.get(), "gzip", "compression-level", "1");
    archive_write_open_filename(writer.get(), QFile::encodeName(path).constData());
    const auto add = [&](const char* name, qint64 size, int mode, const std::function<void()>& data) {
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(), &archive_entry_free);
        archive_entry_set_pathname(entry.get(), name);
        archive_entry_set_filetype(entry.get(), size < 0 ? AE_IFDIR : AE_IFREG);
        archive_entry_set_perm(entry.get(), mode_t(mode));
        if (size >= 0)
            archive_entry_set_size(entry.get(), size);
        archive_write_header(writer.get(), entry.get());
        if (data)
            data();
    };
    const QByteArray plist = infoPlist("2.0", "");
    add("Norvane.app", -1, 0755, {});
    add("Norvane.app/Contents", -1, 0755, {});
    add("Norvane.app/Contents/MacOS", -1, 0755, {});
    add("Norvane.app/Contents/MacOS/Norvane", 10, 0755, [&] { archive_write_data(writer.get(), "#!/bin/sh\n", 10); });
    add("Norvane.app/Contents/Info.plist", plist.size(), 0644,
        [&] { archive_write_data(writer.get(), plist.constData(), size_t(plist.size())); });
    add("Norvane.app/Contents/Resources", -1, 0755, {});
    add("Norvane.app/Contents/Resources/blob", blobSize, 0644, [&] {
        QByteArray piece(1024 * 1024, '\0');
        for (qint64 written = 0; written < blobSize; written += piece.size()) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(piece.data()), piece.size() / 4);
            archive_write_data(writer.get(), piece.constData(), size_t(std::min<qint64>(piece.size(), blobSize - written)));
        }
    });
    archive_write_close(writer.get());
}

void BM_DownloadVerifyUnpack(benchmark::State& state)
{
    const qint64 mebibytes = state.range(0);
    const QString work = TestEnvironment::root() + QStringLiteral("/bench-%1").arg(mebibytes);
    QDir().mkpath(work);
    // Made and signed in other processes, so none of it counts in this one's peak.
    const QString key = work + QStringLiteral("/key.pem");
    const QString archive = work + QStringLiteral("/Norvane-2.0.tar.gz");
    QByteArray publicKey;
    QByteArray signature;
    writeArchive(archive, mebibytes * 1024 * 1024);
    if (!run(QStringLiteral("openssl"), {QStringLiteral("genpkey"), QStringLiteral("-algorithm"), QStringLiteral("ed25519"),
                                         QStringLiteral("-out"), key}) ||
        !run(QStringLiteral(NORVANE_SOURCE_DIR "/scripts/update-public-key.sh"), {key}, &publicKey) ||
        !run(QStringLiteral("openssl"), {QStringLiteral("pkeyutl"), QStringLiteral("-sign"), QStringLiteral("-rawin"),
                                         QStringLiteral("-inkey"), key, QStringLiteral("-in"), archive},
             &signature)) {
        state.SkipWithError("openssl could not make or use a key");
        return;
    }
    const QString host = work + QStringLiteral("/Applications/Norvane.app");
    writeFile(host + QStringLiteral("/Contents/Info.plist"), infoPlist("1.0", publicKey.trimmed()));
    server->serveUpdateFile(QStringLiteral("bench.tar.gz"), archive);

    AppcastItem item;
    item.versionString = QStringLiteral("2.0");
    item.fileURL = QUrl(server->url(ManagementServerPeer::updateFilePath(QStringLiteral("bench.tar.gz"))));
    item.contentLength = quint64(QFileInfo(archive).size());
    item.edSignature = QString::fromLatin1(signature.toBase64());

    QNetworkAccessManager manager;
    const UpdateNetwork network(&manager, QSslCertificate::fromPath(server->certificatePath()));
    double peakAboveIdleMiB = 0;
    int runs = 0;
    for (auto _ : state) {
        // Resets the peak resident size to the current one.
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
        clear.close();
        const long idle = statusKiB("VmRSS:");
        UpdateInstallation installation(network, Bundle(host), item, work + QStringLiteral("/cache-%1").arg(runs++));
        bool done = false;
        UpdateError outcome;
        UpdateInstallation::Callbacks callbacks;
        callbacks.prepared = [&](const UpdateError& error) {
            outcome = error;
            done = true;
        };
        installation.prepare(std::move(callbacks));
        if (!QTest::qWaitFor([&] { return done; }, 300'000) || outcome.code != 0) {
            state.SkipWithError(qPrintable(QStringLiteral("the update was not prepared: ") + outcome.description));
            return;
        }
        peakAboveIdleMiB = std::max(peakAboveIdleMiB, double(statusKiB("VmHWM:") - idle) / 1024);
    }
    state.SetBytesProcessed(state.iterations() * mebibytes * 1024 * 1024);
    state.counters["archive_MiB"] = double(QFileInfo(archive).size()) / (1024 * 1024);
    state.counters["peak_above_idle_MiB"] = peakAboveIdleMiB;
    QDir(work).removeRecursively();
}

} // namespace

BENCHMARK(BM_ParseAppcast)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DownloadVerifyUnpack)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv)
{
    TestEnvironment::isolate();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ManagementServerPeer peer(false);
    if (!peer.isRunning()) {
        std::fprintf(stderr, "the management-server stand-in did not start\n");
        return 1;
    }
    server = &peer;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
