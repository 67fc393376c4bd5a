#include "platform/FileHandle.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {
int openPath(const QString& path, int flags)
{
    const QByteArray native = QFile::encodeName(path);
    int descriptor;
    do {
        descriptor = ::open(native.constData(), flags | O_CLOEXEC, 0666);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}
} // namespace

FileHandle::FileHandle(int descriptor) noexcept : m_descriptor(descriptor < 0 ? -1 : descriptor) {}

FileHandle::~FileHandle()
{
    close();
}

FileHandle::FileHandle(FileHandle&& other) noexcept : m_descriptor(other.release()) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept
{
    if (this != &other) {
        close();
        m_descriptor = other.release();
    }
    return *this;
}

FileHandle FileHandle::duplicate(int descriptor)
{
    if (descriptor < 0)
        return FileHandle();
    return FileHandle(::fcntl(descriptor, F_DUPFD_CLOEXEC, 0));
}

FileHandle FileHandle::openForReading(const QString& path)
{
    return FileHandle(openPath(path, O_RDONLY));
}

FileHandle FileHandle::openForWriting(const QString& path)
{
    return FileHandle(openPath(path, O_WRONLY | O_CREAT | O_TRUNC));
}

int FileHandle::release() noexcept
{
    const int descriptor = m_descriptor;
    m_descriptor = -1;
    return descriptor;
}

void FileHandle::close() noexcept
{
    // Linux releases the descriptor even when close reports EINTR, so it is never retried.
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
}

QByteArray FileHandle::readToEnd(bool* ok) const
{
    QByteArray result;
    bool succeeded = isValid();
    char buffer[16384];
    while (succeeded) {
        const ssize_t count = ::read(m_descriptor, buffer, sizeof buffer);
        if (count > 0)
            result.append(buffer, count);
        else if (count == 0)
            break;
        else if (errno != EINTR)
            succeeded = false;
    }
    if (ok)
        *ok = succeeded;
    return succeeded ? result : QByteArray();
}

std::optional<QByteArray> FileHandle::readToEnd(qsizetype limit, std::chrono::milliseconds timeout,
                                                QString* failure) const
{
    if (!isValid()) {
        *failure = QStringLiteral("no open file");
        return std::nullopt;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    QByteArray result;
    char buffer[16384];
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd entry{m_descriptor, POLLIN, 0};
        const int ready = left.count() > 0 ? ::poll(&entry, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            *failure = QString::fromLocal8Bit(std::strerror(errno));
            return std::nullopt;
        }
        if (ready == 0) {
            *failure = QStringLiteral("the end did not come within %1 ms").arg(timeout.count());
            return std::nullopt;
        }
        const ssize_t count = ::read(m_descriptor, buffer, sizeof buffer);
        if (count == 0)
            return result;
        if (count < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (count < 0) {
            *failure = QString::fromLocal8Bit(std::strerror(errno));
            return std::nullopt;
        }
        if (result.size() + count > limit) {
            *failure = QStringLiteral("more than %1 bytes").arg(limit);
            return std::nullopt;
        }
        result.append(buffer, count);
    }
}

bool FileHandle::write(const QByteArray& bytes) const
{
    if (!isValid())
        return false;
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t count = ::write(m_descriptor, data, static_cast<size_t>(left));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        data += count;
        left -= count;
    }
    return true;
}
