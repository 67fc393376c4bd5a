#pragma once

#include <QByteArray>
#include <QObject>

#include <optional>

class QSocketNotifier;

// Watches the kernel's routing table over rtnetlink: the network counts as reachable while
// a default route (IPv4 or IPv6, main table, unicast) exists. For machines where no
// network-information backend loads.
class RouteMonitor : public QObject
{
    Q_OBJECT
public:
    explicit RouteMonitor(QObject* parent = nullptr);
    ~RouteMonitor() override;

    // Subscribes to route changes and reads the table once; false without rtnetlink.
    bool start();
    bool hasDefaultRoute() const { return m_hasDefaultRoute; }

    // Dumps the routing table now; nothing when it cannot be read.
    static std::optional<bool> queryDefaultRoute();
    // Whether a sequence of rtnetlink messages (RTM_NEWROUTE, ...) holds a default route.
    static bool containsDefaultRoute(const QByteArray& messages);

signals:
    void defaultRouteChanged(bool present);

private:
    void onReadable();
    void refresh();

    int m_socket = -1;
    QSocketNotifier* m_notifier = nullptr;
    bool m_hasDefaultRoute = false;
    bool m_refreshPending = false;
};
