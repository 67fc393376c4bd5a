#include "platform/XpcSocket.h"

#include "platform/Deployment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Room for a few descriptors per read: a peer that sends more than one per frame is
// dropped anyway, but the kernel must not truncate before the link can tell.
constexpr int descriptorsPerReceive = 8;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool makeAddress(const QString& path, sockaddr_un* address, QString* error)
{
    const QByteArray native = QFile::encodeName(path);
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (native.isEmpty() || static_cast<size_t>(native.size()) >= sizeof address->sun_path) {
        if (error)
            *error = QStringLiteral("the socket path %1 is too long").arg(path);
        return false;
    }
    std::memcpy(address->sun_path, native.constData(), static_cast<size_t>(native.size()));
    return true;
}

int newSocket(QString* error)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 && error)
        *error = systemError(errno);
    return fd;
}

} // namespace

namespace XpcSocket {

QString socketPath(const QString& serviceName, QString* error)
{
    if (serviceName.isEmpty() || serviceName.contains(QLatin1Char('/')) || serviceName.contains(QChar(0)) ||
        serviceName == QLatin1String(".") || serviceName == QLatin1String("..")) {
        if (error)
            *error = QStringLiteral("\"%1\" is not a valid service name").arg(serviceName);
        return {};
    }
    const QString path =
        Deployment::runtimeDirectory() + QLatin1Char('/') + serviceName + QStringLiteral(".sock");
    sockaddr_un address;
    if (!makeAddress(path, &address, error))
        return {};
    return path;
}

bool ensureRuntimeDirectory(QString* error)
{
    const QString directory = Deployment::runtimeDirectory();
    const QByteArray native = QFile::encodeName(directory);
    QDir().mkpath(QFileInfo(directory).absolutePath());
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        *error = QStringLiteral("cannot create %1: %2").arg(directory, systemError(errno));
        return false;
    }
    struct stat status;
    if (::lstat(native.constData(), &status) != 0) {
        *error = QStringLiteral("cannot read %1: %2").arg(directory, systemError(errno));
        return false;
    }
    if (!S_ISDIR(status.st_mode) || status.st_uid != ::getuid()) {
        *error = QStringLiteral("%1 is not a directory of this user").arg(directory);
        return false;
    }
    if ((status.st_mode & 0077) != 0 && ::chmod(native.constData(), 0700) != 0) {
        *error = QStringLiteral("cannot restrict %1: %2").arg(directory, systemError(errno));
        return false;
    }
    return true;
}

int connectTo(const QString& path, QString* error)
{
    sockaddr_un address;
    if (!makeAddress(path, &address, error))
        return -1;
    const int fd = newSocket(error);
    if (fd < 0)
        return -1;
    int result;
    do {
        result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (result != 0 && errno == EINTR);
    // A Unix-domain connect completes at once or fails; EAGAIN means the backlog is full.
    if (result != 0) {
        if (error)
            *error = systemError(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

int listenOn(const QString& path, QString* error)
{
    if (!ensureRuntimeDirectory(error))
        return -1;
    sockaddr_un address;
    if (!makeAddress(path, &address, error))
        return -1;
    const int fd = newSocket(error);
    if (fd < 0)
        return -1;
    const auto bindTo = [&] {
        return ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    };
    int result = bindTo();
    if (result != 0 && errno == EADDRINUSE) {
        const int probe = connectTo(path, nullptr);
        if (probe >= 0) {
            ::close(probe);
            *error = QStringLiteral("another process is listening on %1").arg(path);
            ::close(fd);
            return -1;
        }
        struct stat status;
        if (::lstat(address.sun_path, &status) == 0 && S_ISSOCK(status.st_mode))
            ::unlink(address.sun_path);
        result = bindTo();
    }
    if (result != 0 || ::listen(fd, SOMAXCONN) != 0) {
        *error = QStringLiteral("cannot listen on %1: %2").arg(path, systemError(errno));
        ::close(fd);
        return -1;
    }
    return fd;
}

int acceptFrom(int listeningSocket)
{
    int fd;
    do {
        fd = ::accept4(listeningSocket, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool peerCredentials(int socket, pid_t* pid, uid_t* uid)
{
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return false;
    *pid = credentials.pid;
    *uid = credentials.uid;
    return true;
}

ssize_t send(int socket, const char* data, size_t size, int descriptor)
{
    iovec vector{const_cast<char*>(data), size};
    msghdr message{};
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    if (descriptor >= 0) {
        std::memset(control, 0, sizeof control);
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &descriptor, sizeof(int));
    }
    ssize_t sent;
    do {
        sent = ::sendmsg(socket, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (sent < 0 && errno == EINTR);
    return sent;
}

ssize_t receive(int socket, char* buffer, size_t size, std::deque<XpcFileDescriptor>* received,
                bool* lostDescriptors)
{
    iovec vector{buffer, size};
    msghdr message{};
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * descriptorsPerReceive)];
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t count;
    do {
        count = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC | MSG_DONTWAIT);
    } while (count < 0 && errno == EINTR);
    if (count < 0)
        return count;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS)
            continue;
        const size_t bytes = header->cmsg_len - CMSG_LEN(0);
        const unsigned char* data = CMSG_DATA(header);
        for (size_t offset = 0; offset + sizeof(int) <= bytes; offset += sizeof(int)) {
            int descriptor;
            std::memcpy(&descriptor, data + offset, sizeof(int));
            received->emplace_back(descriptor);
        }
    }
    *lostDescriptors = (message.msg_flags & MSG_CTRUNC) != 0;
    return count;
}

int createWakeDescriptor()
{
    return ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

void wake(int wakeDescriptor)
{
    const quint64 one = 1;
    ssize_t result;
    do {
        result = ::write(wakeDescriptor, &one, sizeof one);
    } while (result < 0 && errno == EINTR);
}

void drainWake(int wakeDescriptor)
{
    quint64 count;
    ssize_t result;
    do {
        result = ::read(wakeDescriptor, &count, sizeof count);
    } while (result < 0 && errno == EINTR);
}

} // namespace XpcSocket
