#include "platform/Bundle.h"
#include "platform/CommandRunner.h"
#include "platform/DateFormatter.h"
#include "platform/Hardware.h"
#include "platform/Paths.h"
#include "platform/SerialQueue.h"

#include "TestEnvironment.h"

#include <QDir>

#include <future>
#include <gtest/gtest.h>

TEST(Paths, FollowTheEnvironment)
{
    const QString root = TestEnvironment::root();
    EXPECT_EQ(Paths::libraryDirectory(), root + QStringLiteral("/home/.local/state/norvane"));
    EXPECT_EQ(Paths::configDirectory(), root + QStringLiteral("/home/.config/norvane"));
    EXPECT_EQ(Paths::expandTilde(QStringLiteral("~/a/b")), root + QStringLiteral("/home/a/b"));
    EXPECT_EQ(Paths::expandTilde(QStringLiteral("/x/~")), QStringLiteral("/x/~"));
}

TEST(Bundle, ReadsTheBuiltInfoPlist)
{
    const Bundle bundle(QStringLiteral(NORVANE_TEST_BUNDLE_DIR));
    EXPECT_EQ(bundle.bundleIdentifier(), QStringLiteral("org.norvane.filter.mac"));
    EXPECT_FALSE(bundle.string(QStringLiteral("CFBundleShortVersionString")).value_or(QString()).isEmpty());
    EXPECT_EQ(bundle.infoDictionary().value(QStringLiteral("LSUIElement")).toBool(), true);
    EXPECT_FALSE(Bundle(TestEnvironment::root()).string(QStringLiteral("CFBundleIdentifier")).has_value());
}

TEST(Bundle, NestedValuesAndBrokenLists)
{
    const QString path = TestEnvironment::root() + QStringLiteral("/Ext.systemextension");
    TestEnvironment::writeFile(path + QStringLiteral("/Contents/Info.plist"), R"(<?xml version="1.0"?>
<plist version="1.0"><dict>
  <key>NetworkExtension</key><dict><key>NEMachServiceName</key><string>group.org.norvane.ext</string></dict>
  <key>Numbers</key><array><integer>4</integer><real>1.5</real><false/></array>
</dict></plist>)");
    const QVariantMap info = Bundle(path).infoDictionary();
    EXPECT_EQ(info.value(QStringLiteral("NetworkExtension")).toMap().value(QStringLiteral("NEMachServiceName")).toString(),
              QStringLiteral("group.org.norvane.ext"));
    EXPECT_EQ(info.value(QStringLiteral("Numbers")).toList().size(), 3);

    TestEnvironment::writeFile(path + QStringLiteral("/Contents/Info.plist"), "<plist><dict><key>a</key><unknown/>");
    EXPECT_TRUE(Bundle(path).infoDictionary().isEmpty());
}

TEST(Hardware, SerialNumberSources)
{
    const QString dir = TestEnvironment::root();
    TestEnvironment::writeFile(dir + QStringLiteral("/placeholder"), "To Be Filled By O.E.M.\n");
    TestEnvironment::writeFile(dir + QStringLiteral("/empty"), "\n");
    TestEnvironment::writeFile(dir + QStringLiteral("/machine-id"), "0123abcd\n");
    EXPECT_EQ(Hardware::serialNumber({dir + QStringLiteral("/missing"), dir + QStringLiteral("/placeholder"),
                                      dir + QStringLiteral("/empty"), dir + QStringLiteral("/machine-id")}),
              QStringLiteral("0123abcd"));
    EXPECT_FALSE(Hardware::serialNumber({dir + QStringLiteral("/missing")}).has_value());
}

TEST(CommandRunner, WaitsForOutputOrReturnsAtOnce)
{
    BashCommandRunner runner;
    EXPECT_EQ(runner.run(QStringLiteral("printf 'ok\\n'"), true), QStringLiteral("ok\n"));
    EXPECT_EQ(runner.run(QStringLiteral("echo printed"), false), QString());
    EXPECT_EQ(runner.run(QStringLiteral("printf '\\xff\\xfe'"), true), QString());
    const QString marker = TestEnvironment::root() + QStringLiteral("/started");
    runner.run(QStringLiteral("touch ") + shellQuoted(marker), true);
    EXPECT_TRUE(QFile::exists(marker));
}

TEST(CommandRunner, QuotedValuesStayOneWord)
{
    BashCommandRunner runner;
    const QString marker = TestEnvironment::root() + QStringLiteral("/pwned");
    for (const QString& hostile : {QStringLiteral("a'b"), QStringLiteral("$(touch ") + marker + QStringLiteral(")"),
                                   QStringLiteral("`touch ") + marker + QStringLiteral("`"), QStringLiteral("x; touch ") + marker,
                                   QStringLiteral("\"\\'")}) {
        EXPECT_EQ(runner.run(QStringLiteral("printf '%s' ") + shellQuoted(hostile), true), hostile);
    }
    EXPECT_FALSE(QFile::exists(marker));
}

TEST(SerialQueue, RunsInDueOrderAndHonoursCancel)
{
    SerialQueue queue(QStringLiteral("test queue"));
    std::vector<int> order;
    std::promise<void> done;
    auto cancelled = std::make_shared<WorkItem>([&] { order.push_back(99); });
    queue.asyncAfter(std::chrono::milliseconds(30), [&] {
        order.push_back(3);
        done.set_value();
    });
    queue.asyncAfter(std::chrono::milliseconds(10), cancelled);
    queue.async([&] { order.push_back(1); });
    queue.async([&] { order.push_back(2); });
    cancelled->cancel();
    done.get_future().wait();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    bool ranOnQueue = false;
    queue.sync([&] { ranOnQueue = queue.isCurrent(); });
    EXPECT_TRUE(ranOnQueue);
}

TEST(DateFormatter, ShortStyleDropsSecondsAndParsesBack)
{
    const QDateTime written(QDate(2026, 3, 14), QTime(10, 15, 40));
    const auto read = DateFormatter::parseShortStyle(DateFormatter::shortStyle(written));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, QDateTime(QDate(2026, 3, 14), QTime(10, 15, 0)));
    EXPECT_FALSE(DateFormatter::parseShortStyle(QStringLiteral("not a date")).has_value());
    EXPECT_TRUE(DateFormatter::mediumStyle(written).contains(QStringLiteral("40")));
}
