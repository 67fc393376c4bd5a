#include "platform/Reachability.h"

#include "platform/Diagnostics.h"
#include "platform/RouteMonitor.h"

#include <QNetworkInformation>
#include <QTimer>

namespace {

// Reachable means a route out of the machine, as with the route monitor: Local is a
// network without one. Unknown: the backend cannot tell yet.
std::optional<bool> isReachable(QNetworkInformation::Reachability reachability)
{
    switch (reachability) {
    case QNetworkInformation::Reachability::Unknown:
        return std::nullopt;
    case QNetworkInformation::Reachability::Disconnected:
    case QNetworkInformation::Reachability::Local:
        return false;
    case QNetworkInformation::Reachability::Site:
    case QNetworkInformation::Reachability::Online:
        return true;
    }
    return std::nullopt;
}

QNetworkInformation* loadNetworkInformation(const QStringList& backends)
{
    if (QNetworkInformation* loaded = QNetworkInformation::instance())
        return backends.contains(loaded->backendName()) ? loaded : nullptr;
    for (const QString& backend : backends)
        if (QNetworkInformation::loadBackendByName(backend))
            return QNetworkInformation::instance();
    return nullptr;
}

} // namespace

Reachability::Reachability(QStringList backends, QObject* parent) : QObject(parent), m_backends(std::move(backends)) {}

Reachability::~Reachability()
{
    stopNotifier();
}

bool Reachability::startNotifier()
{
    if (m_source != Source::none)
        return true;
    if (QNetworkInformation* information = loadNetworkInformation(m_backends)) {
        m_source = Source::networkInformation;
        m_backendName = information->backendName();
        m_informationConnection = connect(information, &QNetworkInformation::reachabilityChanged, this,
                                          &Reachability::onNetworkReachability);
        QTimer::singleShot(0, this, [this] {
            const auto reachable = ::isReachable(QNetworkInformation::instance()->reachability());
            if (reachable)
                update(*reachable);
        });
        return true;
    }
    m_routeMonitor = new RouteMonitor(this);
    if (m_routeMonitor->start()) {
        m_source = Source::routeMonitor;
        Diagnostics::report(QStringLiteral("Reachability: no network-information backend; following the default route"));
        connect(m_routeMonitor, &RouteMonitor::defaultRouteChanged, this, [this](bool present) { update(present); });
        QTimer::singleShot(0, this, [this] {
            if (m_routeMonitor)
                update(m_routeMonitor->hasDefaultRoute());
        });
        return true;
    }
    delete m_routeMonitor;
    m_routeMonitor = nullptr;
    m_source = Source::assumedReachable;
    Diagnostics::report(QStringLiteral("Reachability: neither a network-information backend nor the routing table is available; "
                                       "taking the network as reachable"));
    QTimer::singleShot(0, this, [this] { update(true); });
    return true;
}

void Reachability::stopNotifier()
{
    disconnect(m_informationConnection);
    delete m_routeMonitor;
    m_routeMonitor = nullptr;
    m_source = Source::none;
    m_backendName.clear();
    m_known = false;
}

void Reachability::onNetworkReachability()
{
    if (QNetworkInformation* information = QNetworkInformation::instance())
        if (const auto reachable = ::isReachable(information->reachability()))
            update(*reachable);
}

void Reachability::update(bool reachable)
{
    if (m_source == Source::none)
        return;
    // The first answer is always told, later ones only when they change.
    const bool changed = !m_known || reachable != m_reachable;
    m_known = true;
    m_reachable = reachable;
    if (!changed)
        return;
    const Callback& callback = reachable ? whenReachable : whenUnreachable;
    if (callback)
        callback(*this);
}
