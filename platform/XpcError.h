#pragma once

#include <QString>

#include <functional>

// Why a call across the interprocess link failed. The codes are those of the platform's
// connection errors, so that log lines read the same on every system.
struct XpcError
{
    enum Code
    {
        // The peer went away, dropped for bad input, or could never be reached.
        Interrupted = 4097,
        // The call could not be encoded (too large) or queued.
        SendFailed = 4098,
        // invalidate() was called before the call was sent or answered.
        Invalidated = 4099,
        // The peer took the call but did not answer it.
        ReplyInvalid = 4101,
    };
    Code code = Interrupted;
    QString description;
};

using XpcErrorHandler = std::function<void(const XpcError& error)>;
