#include "TestPipe.h"

#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

TestPipe::TestPipe()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("pipe2 failed");
    readEnd = FileHandle(ends[0]);
    writeEnd = FileHandle(ends[1]);
}

bool TestPipe::writersClosed() const
{
    char byte;
    return ::read(readEnd.fileDescriptor(), &byte, 1) == 0;
}
