#include "platform/TrayHostWatcher.h"

#include "platform/Diagnostics.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <vector>

namespace {
const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int busTimeoutMs = 2000;

QDBusMessage hostRegisteredQuery()
{
    QDBusMessage call = QDBusMessage::createMethodCall(watcherService, watcherPath, propertiesInterface,
                                                       QStringLiteral("Get"));
    call << watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    return call;
}

xcb_connection_t* x11Connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// The tray selections of every screen of the display, interned once.
const std::vector<xcb_atom_t>& traySelections(xcb_connection_t* connection)
{
    static std::vector<xcb_atom_t> atoms = [connection] {
        std::vector<xcb_atom_t> result;
        const int screens = xcb_setup_roots_length(xcb_get_setup(connection));
        for (int screen = 0; screen < screens; ++screen) {
            const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
            xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
                connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()), nullptr);
            if (reply) {
                result.push_back(reply->atom);
                std::free(reply);
            }
        }
        return result;
    }();
    return atoms;
}
} // namespace

TrayHostWatcher::TrayHostWatcher(QObject* parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        m_busWatcher = new QDBusServiceWatcher(watcherService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(m_busWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &TrayHostWatcher::checkStatusNotifierHost);
        // A watcher may come up before its host (the panel itself) registers.
        bus.connect(watcherService, watcherPath, watcherService, QStringLiteral("StatusNotifierHostRegistered"), this,
                    SLOT(checkStatusNotifierHost()));
        bus.connect(watcherService, watcherPath, watcherService, QStringLiteral("StatusNotifierHostUnregistered"), this,
                    SLOT(checkStatusNotifierHost()));
        // The answer at start decides how the window starts, so it is waited for.
        if (bus.interface() && bus.interface()->isServiceRegistered(watcherService)) {
            const QDBusMessage reply = bus.call(hostRegisteredQuery(), QDBus::Block, busTimeoutMs);
            m_statusNotifierHost = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
                                   reply.arguments().first().value<QDBusVariant>().variant().toBool();
        }
    }
    if (x11Connection()) {
        m_xembedTray = queryXEmbedTray();
        m_xembedTimer.setInterval(xembedPollMs);
        connect(&m_xembedTimer, &QTimer::timeout, this, &TrayHostWatcher::pollXEmbedTray);
        m_xembedTimer.start();
    }
}

TrayHostWatcher::~TrayHostWatcher() = default;

void TrayHostWatcher::checkStatusNotifierHost()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const quint64 generation = ++m_checkGeneration;
    auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(hostRegisteredQuery(), busTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending, generation] {
        pending->deleteLater();
        // Only the answer to the latest question counts: the bus may have changed since.
        if (generation != m_checkGeneration)
            return;
        const QDBusPendingReply<QDBusVariant> reply = *pending;
        setStatusNotifierHost(!reply.isError() && reply.value().variant().toBool());
    });
}

void TrayHostWatcher::setStatusNotifierHost(bool present)
{
    if (present == m_statusNotifierHost)
        return;
    m_statusNotifierHost = present;
    Diagnostics::report(present ? QStringLiteral("Status item: a StatusNotifier host appeared")
                                : QStringLiteral("Status item: the StatusNotifier host went away"));
    emit changed();
}

void TrayHostWatcher::pollXEmbedTray()
{
    const bool present = queryXEmbedTray();
    if (present == m_xembedTray)
        return;
    m_xembedTray = present;
    Diagnostics::report(present ? QStringLiteral("Status item: an XEmbed system tray appeared")
                                : QStringLiteral("Status item: the XEmbed system tray went away"));
    emit changed();
}

bool TrayHostWatcher::queryXEmbedTray()
{
    xcb_connection_t* connection = x11Connection();
    if (!connection || xcb_connection_has_error(connection))
        return false;
    for (const xcb_atom_t selection : traySelections(connection)) {
        xcb_get_selection_owner_reply_t* reply =
            xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
        const bool owned = reply && reply->owner != XCB_NONE;
        std::free(reply);
        if (owned)
            return true;
    }
    return false;
}
