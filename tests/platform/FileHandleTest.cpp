#include "platform/FileHandle.h"

#include "TestEnvironment.h"
#include "TestPipe.h"

#include <QFile>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

TEST(FileHandle, ClosesItsDescriptorOnceWhenItGoes)
{
    TestPipe pipe;
    {
        FileHandle owner(pipe.writeEnd.release());
        FileHandle moved(std::move(owner));
        EXPECT_FALSE(owner.isValid());
        ASSERT_TRUE(moved.isValid());
        FileHandle assigned;
        assigned = std::move(moved);
        EXPECT_FALSE(moved.isValid());
        EXPECT_FALSE(pipe.writersClosed());
    }
    EXPECT_TRUE(pipe.writersClosed());
}

TEST(FileHandle, MoveAssignmentClosesWhatItHeld)
{
    TestPipe first;
    TestPipe second;
    FileHandle handle(first.writeEnd.release());
    handle = FileHandle(second.writeEnd.release());
    EXPECT_TRUE(first.writersClosed());
    EXPECT_FALSE(second.writersClosed());
}

TEST(FileHandle, DuplicateOutlivesTheOriginalAndReleaseKeepsItOpen)
{
    TestPipe pipe;
    FileHandle copy = pipe.writeEnd.duplicate();
    ASSERT_TRUE(copy.isValid());
    EXPECT_NE(copy.fileDescriptor(), pipe.writeEnd.fileDescriptor());
    EXPECT_TRUE(::fcntl(copy.fileDescriptor(), F_GETFD) & FD_CLOEXEC);
    pipe.writeEnd.close();
    EXPECT_FALSE(pipe.writersClosed());
    ASSERT_TRUE(copy.write("x"));
    char byte = 0;
    EXPECT_EQ(::read(pipe.readEnd.fileDescriptor(), &byte, 1), 1);
    EXPECT_EQ(byte, 'x');

    const int raw = copy.release();
    EXPECT_FALSE(copy.isValid());
    EXPECT_FALSE(pipe.writersClosed());
    ::close(raw);
    EXPECT_TRUE(pipe.writersClosed());
}

TEST(FileHandle, WritesAndReadsFiles)
{
    const QString path = TestEnvironment::root() + QStringLiteral("/export.txt");
    TestEnvironment::writeFile(path, "old content that must go");
    const QByteArray text = QByteArray(100000, 'a') + "\nend\xc3\xa9";
    {
        const FileHandle writer = FileHandle::openForWriting(path);
        ASSERT_TRUE(writer.isValid());
        ASSERT_TRUE(writer.write(text));
    }
    const FileHandle reader = FileHandle::openForReading(path);
    bool ok = false;
    EXPECT_EQ(reader.readToEnd(&ok), text);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(reader.write("no")); // read-only
}

TEST(FileHandle, InvalidHandlesFailPlainly)
{
    EXPECT_FALSE(FileHandle::openForReading(TestEnvironment::root() + QStringLiteral("/missing")).isValid());
    EXPECT_FALSE(
        FileHandle::openForWriting(TestEnvironment::root() + QStringLiteral("/no/such/dir/f")).isValid());
    EXPECT_FALSE(FileHandle(-7).isValid());
    EXPECT_FALSE(FileHandle::duplicate(-1).isValid());
    const FileHandle none;
    bool ok = true;
    EXPECT_TRUE(none.readToEnd(&ok).isEmpty());
    EXPECT_FALSE(ok);
    EXPECT_FALSE(none.write("x"));
}
