#include "platform/XpcFileDescriptor.h"

#include <fcntl.h>
#include <unistd.h>

XpcFileDescriptor& XpcFileDescriptor::operator=(XpcFileDescriptor&& other) noexcept
{
    if (this != &other) {
        reset();
        m_descriptor = other.release();
    }
    return *this;
}

XpcFileDescriptor XpcFileDescriptor::duplicate(int descriptor) noexcept
{
    if (descriptor < 0)
        return XpcFileDescriptor();
    return XpcFileDescriptor(::fcntl(descriptor, F_DUPFD_CLOEXEC, 0));
}

void XpcFileDescriptor::reset() noexcept
{
    // Linux frees the descriptor even when close reports EINTR, so it is never retried.
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
}
