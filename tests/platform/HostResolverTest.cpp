#include "platform/HostResolver.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <condition_variable>
#include <cstring>
#include <mutex>

namespace {

// A name the resolver turns down without asking any server: its first label is longer
// than DNS allows (63 bytes), so not even a query is built.
const QByteArray unresolvableName = QByteArray(64, 'x') + ".invalid";

QByteArray ipv4(const char* text)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, text, &address.sin_addr);
    return QByteArray(reinterpret_cast<const char*>(&address), sizeof address);
}

QByteArray ipv6(const char* text)
{
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    inet_pton(AF_INET6, text, &address.sin6_addr);
    return QByteArray(reinterpret_cast<const char*>(&address), sizeof address);
}

struct LookupReset
{
    ~LookupReset() { HostResolver::setLookup({}); }
};

} // namespace

TEST(HostResolver, NumericTextOfSocketAddresses)
{
    struct Case
    {
        const char* name;
        QByteArray address;
        std::optional<QString> expected;
    };
    QByteArray unknownFamily = ipv4("10.0.0.1");
    reinterpret_cast<sockaddr*>(unknownFamily.data())->sa_family = AF_UNIX;
    const Case cases[] = {
        {"ipv4", ipv4("192.0.2.17"), QStringLiteral("192.0.2.17")},
        {"ipv6 shortened", ipv6("2001:db8:0:0:0:0:0:1"), QStringLiteral("2001:db8::1")},
        {"ipv6 loopback", ipv6("::1"), QStringLiteral("::1")},
        {"empty block", QByteArray(), std::nullopt},
        {"one byte", QByteArray(1, '\2'), std::nullopt},
        {"ipv4 cut short", ipv4("192.0.2.17").left(6), std::nullopt},
        {"ipv6 cut short", ipv6("::1").left(int(sizeof(sockaddr_in))), std::nullopt},
        {"not an internet address", unknownFamily, std::nullopt},
        {"larger than any socket address", QByteArray(int(sizeof(sockaddr_storage)) + 1, '\2'), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(HostResolver::numericHost(c.address), c.expected);
    }
}

TEST(HostResolver, ResolvesFromTheSystemResolver)
{
    HostResolver localhost(QStringLiteral("localhost"));
    EXPECT_TRUE(localhost.startInfoResolution());
    ASSERT_FALSE(localhost.addresses().isEmpty());
    const std::optional<QString> first = HostResolver::numericHost(localhost.addresses().first());
    ASSERT_TRUE(first);
    EXPECT_TRUE(*first == QLatin1String("127.0.0.1") || *first == QLatin1String("::1"))
        << first->toStdString();

    HostResolver numeric(QStringLiteral("127.0.0.2"));
    EXPECT_TRUE(numeric.startInfoResolution());
    ASSERT_EQ(numeric.addresses().size(), 1);
    EXPECT_EQ(HostResolver::numericHost(numeric.addresses().first()), QStringLiteral("127.0.0.2"));

    HostResolver unknown(QString::fromLatin1(unresolvableName));
    EXPECT_FALSE(unknown.startInfoResolution());
    EXPECT_TRUE(unknown.addresses().isEmpty());
}

TEST(HostResolver, AResolverThatDoesNotAnswerIsGivenUpAfterTheTimeout)
{
    LookupReset reset;
    // Shared with the lookup's thread, which outlives the wait that gives up on it.
    struct Gate
    {
        std::mutex mutex;
        std::condition_variable released;
        bool open = false;
    };
    const auto gate = std::make_shared<Gate>();
    HostResolver::setLookup([gate](const QByteArray&) {
        std::unique_lock lock(gate->mutex);
        gate->released.wait(lock, [&] { return gate->open; });
        return QList<QByteArray>{ipv4("192.0.2.1")};
    });

    HostResolver hanging(QStringLiteral("hangs.example"));
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(hanging.startInfoResolution(std::chrono::milliseconds(200)));
    EXPECT_GE(timer.elapsed(), 150);
    EXPECT_TRUE(hanging.addresses().isEmpty());
    // The outcome stays the first one, also once the lookup has answered.
    {
        std::lock_guard lock(gate->mutex);
        gate->open = true;
    }
    gate->released.notify_all();
    EXPECT_FALSE(hanging.startInfoResolution());
    EXPECT_TRUE(hanging.addresses().isEmpty());

    // A lookup that answers in time is taken.
    HostResolver answered(QStringLiteral("answers.example"));
    EXPECT_TRUE(answered.startInfoResolution(std::chrono::seconds(30)));
    EXPECT_EQ(answered.addresses(), QList<QByteArray>{ipv4("192.0.2.1")});
}
