#include "core/Log.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <map>
#include <thread>

namespace {

QString logDir()
{
    return TestEnvironment::root() + QStringLiteral("/logs");
}

Log quietLog(std::uint64_t maxKiB = 10240, int count = 4)
{
    QDir().mkpath(logDir());
    return Log(maxKiB, count, logDir(), QStringLiteral("logfile"), false);
}

QString file(int index, const QString& name = QStringLiteral("logfile"))
{
    return logDir() + QLatin1Char('/') + name + QLatin1Char('-') + QString::number(index) + QStringLiteral(".log");
}

} // namespace

TEST(Log, SharedInstanceDefaultsAndFirstWrite)
{
    Log& log = Log::shared();
    EXPECT_EQ(log.maxFileSize(), 10240u);
    EXPECT_EQ(log.maxFileCount(), 4);
    EXPECT_EQ(log.name(), QStringLiteral("logfile"));
    EXPECT_TRUE(log.printToConsole());
    EXPECT_EQ(log.directory(), TestEnvironment::root() + QStringLiteral("/home/.local/state/norvane/Logs"));
    EXPECT_TRUE(QFileInfo(log.directory()).isDir());

    log.write(QStringLiteral("hello"));
    const QString text = TestEnvironment::readFile(log.currentFilePath());
    EXPECT_TRUE(log.currentFilePath().endsWith(QStringLiteral("/logfile-0.log")));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\[[^\\]]+\\]: hello\\n$")).match(text).hasMatch()) << text.toStdString();
}

TEST(Log, MultiLineMessageGetsOneTerminator)
{
    Log log = quietLog();
    log.write(QStringLiteral("a\nb"));
    EXPECT_TRUE(TestEnvironment::readFile(file(0)).endsWith(QStringLiteral("]: a\nb\n")));
}

TEST(Log, RotatesRightAfterTheCrossingWrite)
{
    Log log = quietLog(1); // 1 KiB
    const QString filler(950, QLatin1Char('x')); // about 975 bytes with the time stamp
    log.write(filler);
    EXPECT_FALSE(QFile::exists(file(1)));
    const QString crossing = QStringLiteral("crossing ") + QString(60, QLatin1Char('c'));
    log.write(crossing);
    EXPECT_FALSE(QFile::exists(file(0)));
    EXPECT_TRUE(TestEnvironment::readFile(file(1)).endsWith(QStringLiteral("]: ") + crossing + QLatin1Char('\n')));
    log.write(QStringLiteral("next"));
    EXPECT_TRUE(TestEnvironment::readFile(file(0)).endsWith(QStringLiteral("]: next\n")));
}

TEST(Log, RotationKeepsThreeGenerationsAndDropsTheOldest)
{
    Log log = quietLog(1);
    for (int i = 0; i < 4; ++i)
        TestEnvironment::writeFile(file(i), QByteArray("gen") + QByteArray::number(i));
    TestEnvironment::writeFile(file(0), QByteArray(2000, 'z'));
    log.write(QStringLiteral("trigger"));
    EXPECT_FALSE(QFile::exists(file(0)));
    EXPECT_TRUE(TestEnvironment::readFile(file(1)).startsWith(QStringLiteral("zzz")));
    EXPECT_EQ(TestEnvironment::readFile(file(2)), QStringLiteral("gen1"));
    EXPECT_EQ(TestEnvironment::readFile(file(3)), QStringLiteral("gen2"));
    EXPECT_FALSE(QFile::exists(file(4)));
}

TEST(Log, NoRotationWithoutALimit)
{
    for (const auto& [size, count] : std::vector<std::pair<std::uint64_t, int>>{{0, 4}, {1, 0}, {1, -1}, {UINT64_MAX, 4}}) {
        QDir(logDir()).removeRecursively();
        Log log = quietLog(size, count);
        log.write(QString(3000, QLatin1Char('y')));
        log.write(QStringLiteral("more"));
        EXPECT_TRUE(QFile::exists(file(0)));
        EXPECT_FALSE(QFile::exists(file(1)));
    }
}

TEST(Log, NameChangeStartsANewFileAndLeavesOldOnes)
{
    Log log = quietLog();
    log.write(QStringLiteral("before"));
    log.setName(QStringLiteral("gui"));
    log.write(QStringLiteral("after"));
    EXPECT_TRUE(TestEnvironment::readFile(file(0)).endsWith(QStringLiteral("]: before\n")));
    EXPECT_TRUE(TestEnvironment::readFile(file(0, QStringLiteral("gui"))).endsWith(QStringLiteral("]: after\n")));
}

TEST(Log, TildeDirectoryIsExpandedAndCreated)
{
    Log log = quietLog();
    log.setDirectory(QStringLiteral("~/deep/er/Logs"));
    EXPECT_EQ(log.directory(), TestEnvironment::root() + QStringLiteral("/home/deep/er/Logs"));
    EXPECT_TRUE(QFileInfo(log.directory()).isDir());
}

TEST(Log, UnwritableFolderDropsTheLineSilently)
{
    // A folder below a regular file can't be created or written, even by root.
    TestEnvironment::writeFile(logDir() + QStringLiteral("/plain"), "x");
    const QString unusable = logDir() + QStringLiteral("/plain/Logs");
    Log log(10240, 4, unusable, QStringLiteral("logfile"), true);
    testing::internal::CaptureStdout();
    log.write(QStringLiteral("lost"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(QFile::exists(unusable + QStringLiteral("/logfile-0.log")));
}

TEST(Log, ConcurrentWritersLoseAndTearNothing)
{
    Log log = quietLog(64); // small files: many rotations during the run
    log.setMaxFileCount(100000);
    constexpr int threads = 8;
    constexpr int lines = 10000;
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([&log, t] {
            for (int i = 0; i < lines; ++i)
                log.write(QStringLiteral("writer %1 line %2 end").arg(t).arg(i));
        });
    }
    for (auto& writer : writers)
        writer.join();

    std::map<std::pair<int, int>, int> seen;
    const QRegularExpression pattern(QStringLiteral("^\\[[^\\]]+\\]: writer (\\d+) line (\\d+) end$"));
    const QStringList files = QDir(logDir()).entryList({QStringLiteral("logfile-*.log")});
    for (const QString& name : files) {
        const QString text = TestEnvironment::readFile(logDir() + QLatin1Char('/') + name);
        ASSERT_TRUE(text.endsWith(QLatin1Char('\n'))) << name.toStdString();
        for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const auto match = pattern.match(line);
            ASSERT_TRUE(match.hasMatch()) << "torn line: " << line.toStdString();
            ++seen[{match.captured(1).toInt(), match.captured(2).toInt()}];
        }
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(threads * lines));
    for (const auto& [key, count] : seen)
        ASSERT_EQ(count, 1) << key.first << "/" << key.second;
}

TEST(Log, FoldersAndFilesAreTheOwnersOnly)
{
    const auto mode = [](const QString& path) {
        struct stat status {};
        return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? (status.st_mode & 0777) : 0;
    };
    const QString directory = Log::defaultDirectory();
    EXPECT_EQ(mode(directory), 0700u);
    EXPECT_EQ(mode(QFileInfo(directory).absolutePath()), 0700u);
    Log log(10240, 4, directory, QStringLiteral("private"), false);
    log.write(QStringLiteral("device fingerprint and server address"));
    EXPECT_EQ(mode(log.currentFilePath()), 0600u);
}
