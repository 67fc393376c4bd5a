#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>

// The StatusNotifierWatcher that a panel (KDE Plasma, GNOME's AppIndicator extension)
// runs on the session bus, with a host registered: it records the items that register.
class StatusNotifierWatcherStandIn : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isStatusNotifierHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredStatusNotifierItems)

public:
    static constexpr const char* serviceName = "org.kde.StatusNotifierWatcher";

    explicit StatusNotifierWatcherStandIn(QDBusConnection connection) : m_connection(connection) {}

    // Takes the watcher's name and path on the bus.
    bool registerOnBus()
    {
        return m_connection.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                                           QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties |
                                               QDBusConnection::ExportAllSignals) &&
               m_connection.registerService(QString::fromLatin1(serviceName));
    }
    void unregisterFromBus()
    {
        m_connection.unregisterService(QString::fromLatin1(serviceName));
        m_connection.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
    }

    bool isStatusNotifierHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList registeredStatusNotifierItems() const { return m_items; }

    // Where each registered item lives: the bus name that registered it and the name it gave.
    struct Item
    {
        QString sender;
        QString service;
    };
    QList<Item> items;

public slots:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message)
    {
        items.append({message.service(), service});
        m_items.append(service);
        emit StatusNotifierItemRegistered(service);
    }
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    QDBusConnection m_connection;
    QStringList m_items;
};
