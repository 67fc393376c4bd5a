#include "platform/FileHandle.h"

#include "TestEnvironment.h"
#include "TestPipe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace std::chrono_literals;

TEST(FileHandleBoundedRead, ReadsFilesAndClosedPipesToTheirEnd)
{
    const QString path = TestEnvironment::root() + QStringLiteral("/bounded.txt");
    const QByteArray text(40000, 'x');
    TestEnvironment::writeFile(path, text);
    QString failure;
    EXPECT_EQ(FileHandle::openForReading(path).readToEnd(text.size(), 5s, &failure), text);

    TestPipe pipe;
    ASSERT_TRUE(pipe.writeEnd.write("short"));
    pipe.writeEnd.close();
    EXPECT_EQ(pipe.readEnd.readToEnd(100, 5s, &failure), QByteArray("short"));
}

TEST(FileHandleBoundedRead, GivesUpOnTooMuchOrNoEnd)
{
    QString failure;
    const QString path = TestEnvironment::root() + QStringLiteral("/big.txt");
    TestEnvironment::writeFile(path, QByteArray(5000, 'y'));
    EXPECT_FALSE(FileHandle::openForReading(path).readToEnd(4999, 5s, &failure).has_value());
    EXPECT_EQ(failure, QStringLiteral("more than 4999 bytes"));

    // A writer that keeps its end open, writing now and then.
    TestPipe pipe;
    ASSERT_TRUE(pipe.writeEnd.write("partial"));
    std::thread trickle([&] {
        for (int i = 0; i < 3; ++i) {
            std::this_thread::sleep_for(100ms);
            (void)pipe.writeEnd.write("more");
        }
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(pipe.readEnd.readToEnd(1000, 250ms, &failure).has_value());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 250ms);
    EXPECT_EQ(failure, QStringLiteral("the end did not come within 250 ms"));
    trickle.join();

    EXPECT_FALSE(FileHandle().readToEnd(10, 1s, &failure).has_value());
    EXPECT_EQ(failure, QStringLiteral("no open file"));
}
