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

// Holds back this thread's reports until it goes (the outermost one, when nested), so that
// code holding a lock reports after releasing it: the sink is a call out. Declare it
// before the lock guard.
class Deferral
{
public:
    Deferral();
    ~Deferral();
    Deferral(const Deferral&) = delete;
    Deferral& operator=(const Deferral&) = delete;
};
} // namespace Diagnostics
