#pragma once

#include <QString>

// Host-name resolution for the filter tests.
class Network
{
public:
    Network() = delete;

    // The numeric text of the first address the system resolver gives for the host name,
    // or "" when there is none. Blocks until the resolver answers: never on the main thread.
    static QString resolveHost(const QString& host);
};
