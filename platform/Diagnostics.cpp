#include "platform/Diagnostics.h"

#include <QStringList>

#include <cstdio>
#include <mutex>

namespace {
std::mutex sinkMutex;
Diagnostics::Sink& sink()
{
    static Diagnostics::Sink instance;
    return instance;
}

thread_local int deferralDepth = 0;
thread_local QStringList deferred;

void deliver(const QString& message)
{
    Diagnostics::Sink current;
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
} // namespace

namespace Diagnostics {

void setSink(Sink newSink)
{
    std::lock_guard lock(sinkMutex);
    sink() = std::move(newSink);
}

void report(const QString& message)
{
    if (deferralDepth > 0) {
        deferred.append(message);
        return;
    }
    deliver(message);
}

Deferral::Deferral()
{
    ++deferralDepth;
}

Deferral::~Deferral()
{
    if (--deferralDepth > 0)
        return;
    const QStringList messages = std::exchange(deferred, QStringList());
    for (const QString& message : messages)
        deliver(message);
}

} // namespace Diagnostics
