#include "platform/Power.h"

#include "platform/Diagnostics.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QTimer>

namespace Power {

void restart(std::function<void(bool)> done)
{
    const auto finish = [done](bool requested) {
        if (done)
            done(requested);
    };
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        Diagnostics::report(QStringLiteral("Power: cannot restart: no system bus (%1)").arg(bus.lastError().message()));
        QTimer::singleShot(0, QCoreApplication::instance(), [finish] { finish(false); });
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                                                       QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Reboot"));
    call << true;
    call.setInteractiveAuthorizationAllowed(true);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 120000), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, finish] {
        watcher->deleteLater();
        if (watcher->isError()) {
            Diagnostics::report(QStringLiteral("Power: cannot restart: %1").arg(watcher->error().message()));
            finish(false);
            return;
        }
        finish(true);
    });
}

} // namespace Power
