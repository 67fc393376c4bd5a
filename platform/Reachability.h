#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

class RouteMonitor;

// Whether the network is reachable, with callbacks when that changes. The first source
// that works is used: a network-information backend (networkmanager where NetworkManager
// runs, else glib), then the kernel's routing table (reachable while a default route
// exists), and where neither works the network is taken as reachable (one log line).
// Main thread: the callbacks run there, once at start and then on every change.
class Reachability : public QObject
{
    Q_OBJECT
public:
    enum class Source { none, networkInformation, routeMonitor, assumedReachable };
    using Callback = std::function<void(Reachability&)>;

    static QStringList defaultBackends() { return {QStringLiteral("networkmanager"), QStringLiteral("glib")}; }

    explicit Reachability(QStringList backends = defaultBackends(), QObject* parent = nullptr);
    ~Reachability() override;

    Callback whenReachable;
    Callback whenUnreachable;

    // False when it cannot start (already running counts as started).
    bool startNotifier();
    void stopNotifier();

    bool isReachable() const { return m_reachable; }
    Source source() const { return m_source; }
    // The network-information backend in use, else empty.
    QString backendName() const { return m_backendName; }

private:
    void update(bool reachable);
    void onNetworkReachability();

    QStringList m_backends;
    Source m_source = Source::none;
    QString m_backendName;
    RouteMonitor* m_routeMonitor = nullptr;
    QMetaObject::Connection m_informationConnection;
    bool m_reachable = false;
    bool m_known = false;
};
