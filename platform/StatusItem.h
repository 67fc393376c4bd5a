#pragma once

#include "platform/Workspace.h"

#include <QIcon>
#include <QObject>
#include <QPointer>

class QMenu;
class QSystemTrayIcon;

// The program's icon in the desktop's status area (the system tray) and its menu. Clicking
// the icon opens the menu. A desktop without a tray host leaves nothing that could show a
// hidden window again, so then the item works in window mode: the application keeps its
// window reachable (shown at start, minimised instead of hidden). One log line says which
// mode is in use. Main thread only.
class StatusItem : public QObject
{
    Q_OBJECT
public:
    enum class Mode { statusBar, window };

    explicit StatusItem(QObject* parent = nullptr);
    ~StatusItem() override;

    static bool isAvailable();
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

private:
    Mode m_mode;
    QIcon m_image;
    QMenu* m_ownMenu;
    QPointer<QMenu> m_menu;
    QSystemTrayIcon* m_tray;
};
