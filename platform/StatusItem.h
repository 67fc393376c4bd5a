#pragma once

#include "platform/Workspace.h"

#include <QIcon>
#include <QObject>
#include <QPointer>

class QMenu;
class QSystemTrayIcon;
class TrayHostWatcher;

// The program's icon in the desktop's status area (the system tray) and its menu. Clicking
// the icon opens the menu. It follows the desktop: while a tray host is present the item is
// in statusBar mode; without one nothing could show a hidden window again, so the item is in
// window mode and the application keeps its window reachable (minimised instead of hidden,
// the menu offered by the window itself). A host that appears or goes away later switches
// the mode and reports it. One log line says which mode is in use. Main thread only.
class StatusItem : public QObject
{
    Q_OBJECT
public:
    enum class Mode { statusBar, window };

    explicit StatusItem(QObject* parent = nullptr);
    ~StatusItem() override;

    Mode mode() const { return m_mode; }
    // How "hide the application" must work in this mode.
    Workspace::HideStyle hideStyle() const
    {
        return m_mode == Mode::statusBar ? Workspace::HideStyle::hide : Workspace::HideStyle::minimize;
    }

    // The item's menu, titled "NV StatusBar Menu"; owned by the item.
    QMenu* menu() const;
    // Shows another menu instead (not owned); nullptr goes back to the item's own.
    void setMenu(QMenu* menu);

    // Loads the image of that name: ":/<name>.png", else <bundle>/Contents/Resources/<name>.png.
    bool setImage(const QString& name);
    QIcon image() const { return m_image; }

signals:
    void modeChanged(StatusItem::Mode mode);

private:
    enum class Protocol { none, statusNotifier, xembed };

    void followHosts();
    Protocol createTrayIcon();
    bool hostOfTrayIconPresent() const;
    void reportMode() const;

    Mode m_mode = Mode::window;
    QIcon m_image;
    QMenu* m_ownMenu;
    QPointer<QMenu> m_menu;
    TrayHostWatcher* m_hosts;
    // Created only once a host is there: Qt picks the tray protocol (StatusNotifierItem
    // or XEmbed) once per process, when the first tray icon is made.
    QSystemTrayIcon* m_tray = nullptr;
    Protocol m_protocol = Protocol::none;
};
