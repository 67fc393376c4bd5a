#include "platform/Paths.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

mode_t modeOf(const QString& path)
{
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? (status.st_mode & 07777) : 0;
}

void writeWithMode(const QString& path, mode_t mode)
{
    TestEnvironment::writeFile(path, "x");
    ::chmod(QFile::encodeName(path).constData(), mode);
}

void makeFolderWithMode(const QString& path, mode_t mode)
{
    QDir().mkpath(path);
    ::chmod(QFile::encodeName(path).constData(), mode);
}

} // namespace

TEST(PrivateFolders, ANewFolderIsTheOwnersOnly)
{
    const QString path = TestEnvironment::root() + QStringLiteral("/fresh/a/b");
    ASSERT_TRUE(Paths::makePrivateDirectory(path));
    EXPECT_EQ(modeOf(path), 0700u);
    // An existing folder is tightened too.
    ::chmod(QFile::encodeName(path).constData(), 0755);
    ASSERT_TRUE(Paths::makePrivateDirectory(path));
    EXPECT_EQ(modeOf(path), 0700u);
}

TEST(PrivateFolders, TheProgramsFoldersAreTightenedAtStart)
{
    const QString logs = Paths::libraryDirectory() + QStringLiteral("/Logs");
    const QString config = Paths::configDirectory();
    makeFolderWithMode(logs, 0755);
    ::chmod(QFile::encodeName(Paths::libraryDirectory()).constData(), 0755);
    makeFolderWithMode(config + QStringLiteral("/nested"), 0775);
    ::chmod(QFile::encodeName(config).constData(), 0777);
    writeWithMode(logs + QStringLiteral("/gui-0.log"), 0644);
    writeWithMode(logs + QStringLiteral("/crash-1.txt"), 0666);
    writeWithMode(config + QStringLiteral("/nested/record.json"), 0640);
    // A link in our folder points elsewhere: what it points to is not ours to change.
    const QString outside = TestEnvironment::root() + QStringLiteral("/outside.txt");
    writeWithMode(outside, 0644);
    ASSERT_TRUE(QFile::link(outside, logs + QStringLiteral("/link.log")));

    Paths::tightenPrivateFolders();

    const std::pair<QString, mode_t> expected[] = {
        {Paths::libraryDirectory(), 0700},
        {logs, 0700},
        {logs + QStringLiteral("/gui-0.log"), 0600},
        {logs + QStringLiteral("/crash-1.txt"), 0600},
        {config, 0700},
        {config + QStringLiteral("/nested"), 0700},
        {config + QStringLiteral("/nested/record.json"), 0600},
        {outside, 0644},
    };
    for (const auto& [path, mode] : expected)
        EXPECT_EQ(modeOf(path), mode) << path.toStdString();
}
