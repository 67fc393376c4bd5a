#include "platform/Diagnostics.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex sinkMutex;
Diagnostics::Sink& sink()
{
    static Diagnostics::Sink instance;
    return instance;
}
} // namespace

namespace Diagnostics {

void setSink(Sink newSink)
{
    std::lock_guard lock(sinkMutex);
    sink() = std::move(newSink);
}

void report(const QString& message)
{
    Sink current;
    {
        std::lock_guard lock(sinkMutex);
        current = sink();
    }
    if (current) {
        current(message);
        return;
    }
    std::fprintf(stderr, "%s\n", message.toUtf8().constData());
}

} // namespace Diagnostics
