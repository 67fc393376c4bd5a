#pragma once

#include <QStringList>

class HttpError;

// The log lines that describe why a request failed, one kind of failure per entry of the
// HTTP client's error, with its reason and cause where it has them.
namespace RequestFailureLog {
QStringList lines(const HttpError& error);
// Writes lines(error) to the log, one entry each.
void write(const HttpError& error);
} // namespace RequestFailureLog
