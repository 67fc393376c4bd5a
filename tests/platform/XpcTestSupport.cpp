#include "XpcTestSupport.h"

#include <QFile>
#include <QHash>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace XpcTest {

int rawConnect(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    std::memcpy(address.sun_path, native.constData(), static_cast<size_t>(native.size()));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool rawWrite(int socket, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t sent =
            ::send(socket, bytes.constData() + done, static_cast<size_t>(bytes.size() - done), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        done += sent;
    }
    return true;
}

QByteArray rawReadToEnd(int socket, std::chrono::milliseconds timeout)
{
    QByteArray result;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd descriptor{socket, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&descriptor, 1, static_cast<int>(left.count())) <= 0)
            return result;
        char buffer[4096];
        const ssize_t count = ::recv(socket, buffer, sizeof buffer, 0);
        if (count <= 0)
            return result;
        result.append(buffer, count);
    }
}

QString serviceName(const char* suffix)
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    // Socket paths are short (108 bytes): the test's name goes in as a hash.
    const QByteArray name = QByteArray(test ? test->name() : "none") + suffix;
    return QStringLiteral("org.norvane.test.%1").arg(qHash(name, 0), 8, 16, QLatin1Char('0'));
}

} // namespace XpcTest
