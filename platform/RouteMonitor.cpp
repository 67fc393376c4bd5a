#include "platform/RouteMonitor.h"

#include "platform/Diagnostics.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool isDefaultRoute(const nlmsghdr* header)
{
    if (header->nlmsg_type != RTM_NEWROUTE || header->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg)))
        return false;
    const auto* route = static_cast<const rtmsg*>(NLMSG_DATA(header));
    unsigned table = route->rtm_table;
    int length = int(RTM_PAYLOAD(header));
    for (const rtattr* attribute = RTM_RTA(route); RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
        if (attribute->rta_type == RTA_TABLE && RTA_PAYLOAD(attribute) >= sizeof(quint32))
            std::memcpy(&table, RTA_DATA(attribute), sizeof(quint32));
    }
    return route->rtm_dst_len == 0 && table == RT_TABLE_MAIN && route->rtm_type == RTN_UNICAST;
}

} // namespace

RouteMonitor::RouteMonitor(QObject* parent) : QObject(parent) {}

RouteMonitor::~RouteMonitor()
{
    delete m_notifier;
    if (m_socket >= 0)
        close(m_socket);
}

bool RouteMonitor::containsDefaultRoute(const QByteArray& messages)
{
    // Copied so that the headers are aligned as the netlink macros expect.
    std::vector<quint32> aligned(size_t(messages.size()) / sizeof(quint32) + 1);
    std::memcpy(aligned.data(), messages.constData(), size_t(messages.size()));
    int length = int(messages.size());
    for (auto* header = reinterpret_cast<const nlmsghdr*>(aligned.data()); NLMSG_OK(header, unsigned(length));
         header = NLMSG_NEXT(header, length)) {
        if (header->nlmsg_type == NLMSG_DONE || header->nlmsg_type == NLMSG_ERROR)
            break;
        if (isDefaultRoute(header))
            return true;
    }
    return false;
}

std::optional<bool> RouteMonitor::queryDefaultRoute()
{
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return std::nullopt;
    const timeval timeout{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    struct
    {
        nlmsghdr header;
        rtmsg route;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.route.rtm_family = AF_UNSPEC;
    if (send(fd, &request, request.header.nlmsg_len, 0) < 0) {
        close(fd);
        return std::nullopt;
    }
    bool found = false;
    alignas(nlmsghdr) char buffer[32768];
    for (;;) {
        const ssize_t received = recv(fd, buffer, sizeof buffer, 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0) {
            close(fd);
            return std::nullopt;
        }
        int length = int(received);
        for (auto* header = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(header, unsigned(length));
             header = NLMSG_NEXT(header, length)) {
            if (header->nlmsg_type == NLMSG_DONE) {
                close(fd);
                return found;
            }
            if (header->nlmsg_type == NLMSG_ERROR) {
                close(fd);
                return std::nullopt;
            }
            found = found || isDefaultRoute(header);
        }
    }
}

bool RouteMonitor::start()
{
    if (m_socket >= 0)
        return true;
    m_socket = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (m_socket < 0) {
        Diagnostics::report(QStringLiteral("RouteMonitor: no rtnetlink: %1").arg(QString::fromLocal8Bit(strerror(errno))));
        return false;
    }
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
    const auto current = queryDefaultRoute();
    if (bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || !current) {
        Diagnostics::report(QStringLiteral("RouteMonitor: cannot watch the routing table"));
        close(m_socket);
        m_socket = -1;
        return false;
    }
    m_hasDefaultRoute = *current;
    m_notifier = new QSocketNotifier(qintptr(m_socket), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &RouteMonitor::onReadable);
    return true;
}

void RouteMonitor::onReadable()
{
    char buffer[8192];
    for (;;) {
        const ssize_t received = recv(m_socket, buffer, sizeof buffer, 0);
        if (received > 0 || (received < 0 && errno == EINTR))
            continue;
        break; // drained (EAGAIN), or overflowed (ENOBUFS): the dump below reads the table anew
    }
    // One dump answers a burst of route messages.
    if (!m_refreshPending) {
        m_refreshPending = true;
        QTimer::singleShot(0, this, &RouteMonitor::refresh);
    }
}

void RouteMonitor::refresh()
{
    m_refreshPending = false;
    const auto present = queryDefaultRoute();
    if (present && *present != m_hasDefaultRoute) {
        m_hasDefaultRoute = *present;
        emit defaultRouteChanged(m_hasDefaultRoute);
    }
}
