#pragma once

#include <QString>

#include <functional>

// Where the platform layer reports what goes wrong. It cannot use the program's file log
// (that lives above it), so the file log installs itself as the sink at start; until then
// messages go to standard error.
namespace Diagnostics {
using Sink = std::function<void(const QString&)>;
void setSink(Sink sink);
void report(const QString& message);
} // namespace Diagnostics
