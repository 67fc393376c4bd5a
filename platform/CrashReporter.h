#pragma once

#include <QString>

// Crash reporting with nothing sent: start() checks the DSN and installs handlers for the
// fatal signals (SIGSEGV, SIGABRT, SIGBUS, SIGILL, SIGFPE) that write a crash record into
// the log folder and then let the signal take its course (the handler that was there
// before, else the default action). The handlers use async-signal-safe calls only.
class CrashReporter
{
public:
    // https://<public key>:<secret key>@<host>[:port]/<project number>, both keys 32
    // lowercase hexadecimal digits.
    static bool isValidDsn(const QString& dsn);
    // False (with a log line) for an invalid DSN; true once the handlers are in place.
    static bool start(const QString& dsn);
    static bool isStarted();
    // Where the records go: <Library>/Logs, as crash-<unix time>-<pid>.log.
    static QString crashDirectory();
};
