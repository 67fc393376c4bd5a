#include "platform/Reachability.h"
#include "platform/RouteMonitor.h"

#include "PlatformTestSupport.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <linux/rtnetlink.h>
#include <sys/socket.h>

using namespace PlatformTest;

namespace {

// Whether the kernel's IPv4 or IPv6 table holds a default route, read from /proc.
bool procHasDefaultRoute()
{
    const QStringList ipv4 = TestEnvironment::readFile(QStringLiteral("/proc/net/route")).split(QLatin1Char('\n')).mid(1);
    for (const QString& line : ipv4) {
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        if (fields.size() > 7 && fields[1] == QLatin1String("00000000") && fields[7] == QLatin1String("00000000"))
            return true;
    }
    const QStringList ipv6 = TestEnvironment::readFile(QStringLiteral("/proc/net/ipv6_route")).split(QLatin1Char('\n'));
    for (const QString& line : ipv6) {
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        // A default route has prefix ::/0 and is not the unreachable entry of the loopback.
        if (fields.size() > 9 && fields[0] == QString(32, QLatin1Char('0')) && fields[1] == QLatin1String("00") &&
            fields[9] != QLatin1String("lo"))
            return true;
    }
    return false;
}

QByteArray routeMessage(unsigned char dstLen, unsigned char table, unsigned char type, int tableAttribute = -1)
{
    QByteArray message(NLMSG_LENGTH(sizeof(rtmsg)) + (tableAttribute >= 0 ? RTA_LENGTH(4) : 0), '\0');
    auto* header = reinterpret_cast<nlmsghdr*>(message.data());
    header->nlmsg_len = quint32(message.size());
    header->nlmsg_type = RTM_NEWROUTE;
    auto* route = static_cast<rtmsg*>(NLMSG_DATA(header));
    route->rtm_family = AF_INET;
    route->rtm_dst_len = dstLen;
    route->rtm_table = table;
    route->rtm_type = type;
    if (tableAttribute >= 0) {
        auto* attribute = RTM_RTA(route);
        attribute->rta_type = RTA_TABLE;
        attribute->rta_len = RTA_LENGTH(4);
        const quint32 value = quint32(tableAttribute);
        memcpy(RTA_DATA(attribute), &value, 4);
    }
    return message;
}

} // namespace

TEST(RouteMonitor, RecognisesDefaultRoutesInNetlinkMessages)
{
    const QByteArray host = routeMessage(32, RT_TABLE_MAIN, RTN_UNICAST);
    const struct
    {
        QByteArray messages;
        bool hasDefault;
    } cases[] = {
        {QByteArray(), false},
        {host, false},
        {host + routeMessage(0, RT_TABLE_MAIN, RTN_UNICAST), true},
        {routeMessage(0, RT_TABLE_LOCAL, RTN_UNICAST), false},
        {routeMessage(0, RT_TABLE_MAIN, RTN_UNREACHABLE), false},
        // Tables past 255 are named by the attribute only.
        {routeMessage(0, RT_TABLE_UNSPEC, RTN_UNICAST, RT_TABLE_MAIN), true},
        {routeMessage(0, RT_TABLE_MAIN, RTN_UNICAST, 1000), false},
        // A truncated message is not read past its end.
        {routeMessage(0, RT_TABLE_MAIN, RTN_UNICAST).left(10), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RouteMonitor::containsDefaultRoute(c.messages), c.hasDefault) << c.messages.toHex().toStdString();
}

TEST(RouteMonitor, AgreesWithTheKernelTable)
{
    const auto queried = RouteMonitor::queryDefaultRoute();
    ASSERT_TRUE(queried.has_value());
    EXPECT_EQ(*queried, procHasDefaultRoute());
}

TEST(Reachability, FallsBackToTheRoutingTableWithoutABackend)
{
    DiagnosticsCapture diagnostics;
    Reachability reachability(QStringList{QStringLiteral("no-such-backend")});
    std::optional<bool> told;
    reachability.whenReachable = [&](Reachability&) { told = true; };
    reachability.whenUnreachable = [&](Reachability&) { told = false; };
    ASSERT_TRUE(reachability.startNotifier());
    EXPECT_EQ(reachability.source(), Reachability::Source::routeMonitor);
    ASSERT_TRUE(QTest::qWaitFor([&] { return told.has_value(); }, 5000));
    EXPECT_EQ(*told, procHasDefaultRoute());
    EXPECT_EQ(reachability.isReachable(), *told);
    EXPECT_EQ(diagnostics.count(QStringLiteral("following the default route")), 1);
}

TEST(Reachability, NetworkInformationBackendTellsOnceOnTheMainThread)
{
    Reachability reachability;
    int calls = 0;
    bool onMain = true;
    const auto note = [&](Reachability&) {
        ++calls;
        onMain = onMain && QThread::currentThread() == QCoreApplication::instance()->thread();
    };
    reachability.whenReachable = note;
    reachability.whenUnreachable = note;
    ASSERT_TRUE(reachability.startNotifier());
    if (reachability.source() != Reachability::Source::networkInformation)
        GTEST_SKIP() << "no network-information backend loads here";
    EXPECT_TRUE(Reachability::defaultBackends().contains(reachability.backendName()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 5000));
    EXPECT_TRUE(onMain);
    // Starting again changes nothing and tells nothing new.
    EXPECT_TRUE(reachability.startNotifier());
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
}
