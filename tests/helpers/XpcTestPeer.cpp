// A process on the other end of the interprocess link, for tests that need a peer that can
// be killed. Usage: xpc_test_peer <service name>. Prints "ready" once it listens, then
// serves until killed:
//   "echo:"  answers with its arguments;
//   "hold:"  never answers (the reply block is kept);
//   "read:"  answers with the bytes read from the descriptor that came with it.
#include "platform/XpcListener.h"

#include <cstdio>
#include <mutex>
#include <vector>

#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: xpc_test_peer <service name>\n");
        return 2;
    }
    std::mutex mutex;
    std::vector<XpcReplyBlock> held;
    std::vector<std::shared_ptr<XpcConnection>> connections;
    XpcListener listener(QString::fromLocal8Bit(argv[1]));
    listener.setShouldAcceptNewConnection([&](const std::shared_ptr<XpcConnection>& connection) {
        connection->setExportedHandler([&](XpcInvocation invocation, XpcReplyBlock reply) {
            if (invocation.selector == QLatin1String("echo:")) {
                reply(invocation.arguments);
            } else if (invocation.selector == QLatin1String("hold:")) {
                std::lock_guard lock(mutex);
                held.push_back(reply);
            } else if (invocation.selector == QLatin1String("read:")) {
                QByteArray content;
                char buffer[4096];
                ssize_t count;
                while (invocation.fileDescriptor.isValid() &&
                       (count = ::read(invocation.fileDescriptor.get(), buffer, sizeof buffer)) > 0)
                    content.append(buffer, count);
                reply({XpcValue::fromBytes(content)});
            }
        });
        connection->resume();
        std::lock_guard lock(mutex);
        connections.push_back(connection);
        return true;
    });
    if (!listener.resume())
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;)
        ::pause();
}
