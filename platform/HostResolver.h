#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

// Resolution of one host name to its addresses, with the system resolver (getaddrinfo),
// and the numeric text of an address (getnameinfo). Resolution blocks the calling thread,
// so callers run it off the main thread.
class HostResolver
{
public:
    // The addresses of a host name as socket-address data blocks (struct sockaddr_in or
    // sockaddr_in6 bytes), in the resolver's order; empty when it has none.
    using Lookup = std::function<QList<QByteArray>(const QByteArray& hostName)>;

    // The longest a resolution is waited for: past it the caller goes on without addresses
    // (the lookup may still finish later, unseen), so a resolver that does not answer
    // cannot hold the caller's thread for good.
    static constexpr std::chrono::milliseconds defaultTimeout{30'000};

    explicit HostResolver(QString hostName);

    // Resolves the name and waits for the answer; false when there is none or the wait
    // timed out. Once only; later calls return the first outcome.
    bool startInfoResolution(std::chrono::milliseconds timeout = defaultTimeout);
    QString hostName() const { return m_hostName; }
    // What the resolution found (empty before it ran).
    QList<QByteArray> addresses() const { return m_addresses; }

    // The numeric host text of a socket address (NI_NUMERICHOST); nullopt when the block is
    // not a socket address or getnameinfo refuses it.
    static std::optional<QString> numericHost(const QByteArray& socketAddress);

    // The system resolver, getaddrinfo.
    static QList<QByteArray> systemLookup(const QByteArray& hostName);
    // Replaces the lookup every resolver uses from now on (tests); an empty one restores
    // the system's.
    static void setLookup(Lookup lookup);

private:
    QString m_hostName;
    QList<QByteArray> m_addresses;
    std::optional<bool> m_outcome;
};
