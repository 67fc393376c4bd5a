#include "platform/HostResolver.h"

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include <netdb.h>
#include <sys/socket.h>

namespace {

std::mutex lookupMutex;
HostResolver::Lookup& currentLookup()
{
    static HostResolver::Lookup lookup;
    return lookup;
}

HostResolver::Lookup lookupInUse()
{
    std::lock_guard lock(lookupMutex);
    return currentLookup() ? currentLookup() : HostResolver::Lookup(&HostResolver::systemLookup);
}

// Shared by the waiting caller and the thread that resolves, which may outlive the wait.
struct Resolution
{
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    QList<QByteArray> addresses;
};

} // namespace

HostResolver::HostResolver(QString hostName) : m_hostName(std::move(hostName)) {}

bool HostResolver::startInfoResolution(std::chrono::milliseconds timeout)
{
    if (m_outcome)
        return *m_outcome;
    auto resolution = std::make_shared<Resolution>();
    // getaddrinfo cannot be interrupted: it runs on a thread of its own that is left behind
    // when the wait times out.
    std::thread([resolution, lookup = lookupInUse(), name = m_hostName.toUtf8()] {
        QList<QByteArray> addresses = lookup(name);
        {
            std::lock_guard lock(resolution->mutex);
            resolution->addresses = std::move(addresses);
            resolution->finished = true;
        }
        resolution->done.notify_all();
    }).detach();

    std::unique_lock lock(resolution->mutex);
    resolution->done.wait_for(lock, timeout, [&] { return resolution->finished; });
    if (resolution->finished)
        m_addresses = resolution->addresses;
    m_outcome = !m_addresses.isEmpty();
    return *m_outcome;
}

std::optional<QString> HostResolver::numericHost(const QByteArray& socketAddress)
{
    if (socketAddress.size() < qsizetype(sizeof(sa_family_t)) ||
        socketAddress.size() > qsizetype(sizeof(sockaddr_storage)))
        return std::nullopt;
    sockaddr_storage address{};
    std::memcpy(&address, socketAddress.constData(), size_t(socketAddress.size()));
    const socklen_t needed = address.ss_family == AF_INET    ? socklen_t(sizeof(sockaddr_in))
                             : address.ss_family == AF_INET6 ? socklen_t(sizeof(sockaddr_in6))
                                                             : 0;
    if (needed == 0 || socklen_t(socketAddress.size()) < needed)
        return std::nullopt;
    char host[1025] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&address), needed, host, sizeof host, nullptr, 0,
                    NI_NUMERICHOST) != 0)
        return std::nullopt;
    return QString::fromUtf8(host);
}

QList<QByteArray> HostResolver::systemLookup(const QByteArray& hostName)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    // One entry per address rather than one per socket type.
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* results = nullptr;
    if (getaddrinfo(hostName.constData(), nullptr, &hints, &results) != 0)
        return {};
    QList<QByteArray> addresses;
    for (const addrinfo* entry = results; entry; entry = entry->ai_next) {
        if (entry->ai_addr && entry->ai_addrlen > 0)
            addresses.append(
                QByteArray(reinterpret_cast<const char*>(entry->ai_addr), qsizetype(entry->ai_addrlen)));
    }
    freeaddrinfo(results);
    return addresses;
}

void HostResolver::setLookup(Lookup lookup)
{
    std::lock_guard lock(lookupMutex);
    currentLookup() = std::move(lookup);
}
