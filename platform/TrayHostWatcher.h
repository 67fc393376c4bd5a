#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>

class QDBusServiceWatcher;

// Tells whether the desktop has a host for status icons, and when that changes: a
// StatusNotifierWatcher with a registered host on the session bus (KDE Plasma, GNOME with
// the AppIndicator extension, most panels of today), or an XEmbed system tray on X11 (the
// owner of the _NET_SYSTEM_TRAY_S<n> selection: XFCE, MATE, LXDE, trayer, stalonetray...).
// The bus is followed through its NameOwnerChanged signal; X11 sends no event that we
// could select without owning the root window's events, so the selection owner is polled.
// Main thread only.
class TrayHostWatcher : public QObject
{
    Q_OBJECT
public:
    static constexpr int xembedPollMs = 1000;

    explicit TrayHostWatcher(QObject* parent = nullptr);
    ~TrayHostWatcher() override;

    bool hasStatusNotifierHost() const { return m_statusNotifierHost; }
    bool hasXEmbedTray() const { return m_xembedTray; }
    bool isAvailable() const { return m_statusNotifierHost || m_xembedTray; }

signals:
    // Either kind of host appeared or went away.
    void changed();

private slots:
    void checkStatusNotifierHost();

private:
    void setStatusNotifierHost(bool present);
    void pollXEmbedTray();
    bool queryXEmbedTray();

    QDBusServiceWatcher* m_busWatcher = nullptr;
    QTimer m_xembedTimer;
    bool m_statusNotifierHost = false;
    bool m_xembedTray = false;
    quint64 m_checkGeneration = 0;
};
