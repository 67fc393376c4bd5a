#pragma once

#include "TestEnvironment.h"

#include <QDBusConnection>
#include <QDir>
#include <QProcess>
#include <QStringList>

// A private D-Bus daemon that stands in for the system or the session bus of this test
// process. Construct it before anything connects to that bus.
class PrivateBus
{
public:
    enum class Kind { system, session };

    explicit PrivateBus(Kind kind)
    {
        const QString dir = TestEnvironment::root() + QStringLiteral("/bus-") + (kind == Kind::system ? QStringLiteral("system") : QStringLiteral("session"));
        QDir().mkpath(dir);
        // No service directories: nothing on this machine gets activated on it.
        TestEnvironment::writeFile(dir + QStringLiteral("/bus.conf"), QStringLiteral(R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*"/><allow receive_sender="*"/><allow own="*"/></policy>
</busconfig>
)").arg(dir).toUtf8());
        m_daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + dir + QStringLiteral("/bus.conf"),
                                                        QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(5000))
            return;
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(5000)) {
        }
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        qputenv(kind == Kind::system ? "DBUS_SYSTEM_BUS_ADDRESS" : "DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    }
    ~PrivateBus()
    {
        for (const QString& name : m_connections)
            QDBusConnection::disconnectFromBus(name);
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    // A connection of its own (for a fake service), closed with the bus.
    QDBusConnection connect(const QString& name)
    {
        m_connections.append(name);
        return QDBusConnection::connectToBus(m_address, name);
    }

private:
    QStringList m_connections;
    QProcess m_daemon;
    QString m_address;
};
