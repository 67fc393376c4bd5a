#include "core/SessionData.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// Configuration n carries n in two fields, so a torn or mixed value shows.
ServerConfiguaration numbered(qint64 n)
{
    ServerConfiguaration config;
    config.BypassesPermitted = n;
    config.sha1 = QStringLiteral("config-%1").arg(n);
    config.SelfModeration = QStringList{QString::number(n), QString::number(n + 1)};
    return config;
}

// The instance that exists before the first replacement reads the default configuration.
bool consistent(const ServerConfiguaration& config)
{
    return config == ServerConfiguaration::makeDefault() ||
           (config.BypassesPermitted && config == numbered(*config.BypassesPermitted));
}

} // namespace

// The shared instance is replaced over and over while readers use it: every reader sees
// whole instances, each instance's configuration never changes once read, and the cache
// is filled safely when several readers reach a fresh instance at once.
TEST(SessionDataConcurrency, SharedReplacedWhileReadersRead)
{
    constexpr int replacements = 1000;
    constexpr int readerCount = 6;
    std::atomic<bool> writing{true};
    std::atomic<int> inconsistencies{0};
    std::atomic<long> reads{0};
    UserDefaults::standard().setString(SessionData::authTokenKey, QStringLiteral("token"));

    std::vector<std::thread> readers;
    for (int r = 0; r < readerCount; ++r) {
        readers.emplace_back([&] {
            // At least a few rounds even if the writer is done first.
            for (int round = 0; writing.load() || round < 50; ++round) {
                const std::shared_ptr<SessionData> session = SessionData::shared();
                const ServerConfiguaration first = session->userConfig();
                const ServerConfiguaration again = session->userConfig();
                if (!consistent(first) || first != again)
                    ++inconsistencies;
                if (session->authToken() != QStringLiteral("token"))
                    ++inconsistencies;
                if (session->bypassesUsed() < 0 || !session->lastSyncTime().isValid())
                    ++inconsistencies;
                ++reads;
            }
        });
    }

    std::shared_ptr<SessionData> last;
    for (int n = 1; n <= replacements; ++n) {
        auto next = std::make_shared<SessionData>();
        if (n % 2 == 0) {
            next->setUserConfig(numbered(n));
        } else {
            // Left empty so that readers race to fill its cache from the stored value.
            UserDefaults::standard().setData(SessionData::serverConfigurationKey, numbered(n).toJson());
        }
        last = next;
        SessionData::setShared(std::move(next));
    }
    writing = false;
    for (std::thread& reader : readers)
        reader.join();

    EXPECT_EQ(inconsistencies.load(), 0);
    EXPECT_GE(reads.load(), long(readerCount) * 50);
    EXPECT_EQ(SessionData::shared(), last);
    EXPECT_EQ(SessionData::shared()->userConfig(), numbered(replacements));
}
