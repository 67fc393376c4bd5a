#include "platform/ReopenChannel.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>
#include <thread>

namespace {

QString privateFolder()
{
    const QString folder = TestEnvironment::root() + QStringLiteral("/reopen");
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return folder;
}

} // namespace

TEST(ReopenChannel, ARequestReachesTheListenerAndGarbageDoesNot)
{
    const QString path = privateFolder() + QStringLiteral("/app.reopen");
    // A socket file left behind by a crashed run does not stand in the way.
    QFile(path).open(QIODevice::WriteOnly);
    ReopenChannel channel(path);
    ASSERT_TRUE(channel.listen());
    QSignalSpy requested(&channel, &ReopenChannel::reopenRequested);

    // The asking side blocks (it is about to exit); the listener answers from its event
    // loop, so the request is sent from another thread here.
    bool delivered = false;
    std::thread asker([&] { delivered = ReopenChannel::requestReopen(path); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return requested.size() == 1; }, 10000));
    asker.join();
    EXPECT_TRUE(delivered);

    for (const QByteArray& garbage : {QByteArray("open\n"), QByteArray("reopen"), QByteArray(100000, 'x')}) {
        QLocalSocket socket;
        socket.connectToServer(path);
        ASSERT_TRUE(socket.waitForConnected(5000));
        socket.write(garbage);
        socket.flush();
        socket.disconnectFromServer();
    }
    QTest::qWait(200);
    EXPECT_EQ(requested.size(), 1);
}

TEST(ReopenChannel, AFolderOthersCanEnterIsRefused)
{
    const QString folder = privateFolder();
    EXPECT_TRUE(ReopenChannel::isPrivateFolder(folder));
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                      QFileDevice::ReadGroup | QFileDevice::ExeGroup);
    EXPECT_FALSE(ReopenChannel::isPrivateFolder(folder));
    ReopenChannel channel(folder + QStringLiteral("/app.reopen"));
    EXPECT_FALSE(channel.listen());
    EXPECT_FALSE(ReopenChannel::requestReopen(folder + QStringLiteral("/app.reopen"), 500));
    EXPECT_FALSE(ReopenChannel::isPrivateFolder(TestEnvironment::root() + QStringLiteral("/missing")));
}
