#pragma once

#include "platform/FileHandle.h"

// A non-blocking pipe, for watching whether a handle on its write end is still open: once
// every write end is closed, reading the read end reports end of file.
struct TestPipe
{
    TestPipe();

    FileHandle readEnd;
    FileHandle writeEnd;

    // True when no write end is open any more (and nothing is left unread).
    bool writersClosed() const;
};
