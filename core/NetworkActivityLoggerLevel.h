#pragma once

// How much the HTTP activity log writes.
enum class NetworkActivityLoggerLevel
{
    off,
    debug,
    info,
    warn,
    error,
    fatal
};
