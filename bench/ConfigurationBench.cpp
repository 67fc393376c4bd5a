#include "core/ServerConfiguaration.h"
#include "core/SessionData.h"
#include "platform/UserDefaults.h"

#include <QByteArray>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// A policy as the server sends it: all 26 keys, seven days with several periods each.
QByteArray realisticConfiguration()
{
    QJsonObject days;
    const char* names[] = {"monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"};
    for (int d = 0; d < 7; ++d) {
        QJsonArray periods;
        for (int p = 0; p < 3 + d % 2; ++p) {
            periods.append(QStringLiteral("%1.%2")
                               .arg(6 + p * 5, 2, 10, QLatin1Char('0'))
                               .arg(d * 5, 2, 10, QLatin1Char('0')));
            periods.append(QStringLiteral("%1.30").arg(9 + p * 5, 2, 10, QLatin1Char('0')));
        }
        days.insert(names[d], QJsonObject{{"EnabledThrough", periods}, {"RestrictionsEnabled", d < 5}});
    }
    QJsonArray lists;
    for (const char* type : {"adult", "gambling", "social", "games", "proxies", "malware"})
        lists.append(
            QJsonObject{{"ListType", type}, {"RelativeListPath", QStringLiteral("lists/%1.txt").arg(type)}});
    QJsonArray sites;
    for (int i = 0; i < 20; ++i)
        sites.append(QStringLiteral("site-%1.example.com").arg(i));
    const QJsonObject configuration{
        {"BlacklistedApplications", QJsonArray{"com.example.torrent", "com.example.vpn", "com.example.tor"}},
        {"WhitelistedApplications", QJsonArray{"com.example.mail", "com.example.office"}},
        {"BlockedApplications", QJsonArray{"com.example.game"}},
        {"CannotTerminate", true},
        {"BlockInternet", false},
        {"UseThreshold", true},
        {"ThresholdLimit", 5},
        {"ThresholdTriggerPeriod", 600},
        {"ThresholdTimeoutPeriod", 1800},
        {"BypassesPermitted", 3},
        {"UpdateFrequency", 3600},
        {"BypassDuration", 30},
        {"PrimaryDns", "10.0.0.53"},
        {"PrimaryDnsV6", "fd00::53"},
        {"SecondaryDns", "10.0.1.53"},
        {"SecondaryDnsV6", "fd00::1:53"},
        {"ConfiguredLists", lists},
        {"SelfModeration", sites},
        {"CustomWhitelist", QJsonArray{"school.example.org", "library.example.org"}},
        {"CustomTriggerBlacklist", QJsonArray{"casino", "poker", "betting"}},
        {"CustomBlockedApps", QJsonArray{"com.example.chat"}},
        {"TimeRestrictions", days},
        {"UpdateChannel", "Stable"},
        {"EnableRelaxedPolicyPasscode", 1},
        {"DebugEnabled", 0},
        {"sha1", "3f786850e387550fdab836ed7e6dc881de23001b"},
    };
    return QJsonDocument(configuration).toJson(QJsonDocument::Compact);
}

void BM_DecodeServerConfiguration(benchmark::State& state)
{
    const QByteArray json = realisticConfiguration();
    for (auto _ : state) {
        auto decoded = ServerConfiguaration::fromJson(json);
        if (!decoded)
            state.SkipWithError(qPrintable(decoded.error()));
        benchmark::DoNotOptimize(decoded);
    }
    state.SetBytesProcessed(qint64(state.iterations()) * json.size());
}

void BM_EncodeServerConfiguration(benchmark::State& state)
{
    const ServerConfiguaration configuration =
        ServerConfiguaration::fromJson(realisticConfiguration()).value();
    for (auto _ : state)
        benchmark::DoNotOptimize(configuration.toJson());
}

// Encode the shared session, decode it back (which stores every value in the user
// defaults, one atomic file write per key, as the app does when user data arrives).
void BM_SessionDataRoundTrip(benchmark::State& state)
{
    auto configuration = ServerConfiguaration::fromJson(realisticConfiguration());
    auto session = std::make_shared<SessionData>();
    session->setUserConfig(configuration.value());
    UserDefaults::standard().setString(SessionData::authTokenKey,
                                       QStringLiteral("4f1c2a9e8b7d6c5b4a39281706f5e4d3"));
    UserDefaults::standard().setString(SessionData::userEmailKey, QStringLiteral("user@example.com"));
    session->setRelaxedPolicyEnabledTime(QDateTime::currentDateTime());
    SessionData::setShared(session);
    for (auto _ : state) {
        const QByteArray json = SessionData::shared()->toJson();
        auto decoded = SessionData::fromJson(json);
        if (!decoded)
            state.SkipWithError(qPrintable(decoded.error()));
        SessionData::setShared(std::move(decoded).value());
    }
}

void BM_SessionDataEncode(benchmark::State& state)
{
    auto session = std::make_shared<SessionData>();
    session->setUserConfig(ServerConfiguaration::fromJson(realisticConfiguration()).value());
    for (auto _ : state)
        benchmark::DoNotOptimize(session->toJson());
}

} // namespace

BENCHMARK(BM_DecodeServerConfiguration);
BENCHMARK(BM_EncodeServerConfiguration);
BENCHMARK(BM_SessionDataEncode);
BENCHMARK(BM_SessionDataRoundTrip);

int main(int argc, char** argv)
{
    // The session store writes the user defaults: keep them out of the real home.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_STATE_HOME", (home.path() + QStringLiteral("/.local/state")).toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/.local/share")).toUtf8());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
