#include "platform/StatusItem.h"

#include "platform/Bundle.h"
#include "platform/Diagnostics.h"

#include <QCursor>
#include <QFile>
#include <QMenu>
#include <QSystemTrayIcon>

static void initResources()
{
    // The resources live in a static library: they register only when asked for.
    Q_INIT_RESOURCE(platform);
}

StatusItem::StatusItem(QObject* parent)
    : QObject(parent),
      m_mode(isAvailable() ? Mode::statusBar : Mode::window),
      m_ownMenu(new QMenu),
      m_menu(m_ownMenu),
      m_tray(new QSystemTrayIcon(this))
{
    initResources();
    m_ownMenu->setTitle(QStringLiteral("NV StatusBar Menu"));
    m_tray->setContextMenu(m_ownMenu);
    // A click on the icon opens the menu, as a status item does.
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger && m_menu)
            m_menu->popup(QCursor::pos());
    });
    Diagnostics::report(m_mode == Mode::statusBar
                            ? QStringLiteral("Status item: in the system tray; closing the window hides the application")
                            : QStringLiteral("Status item: no system tray; the window is shown at start and minimised instead of hidden"));
}

StatusItem::~StatusItem()
{
    delete m_ownMenu;
}

bool StatusItem::isAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

QMenu* StatusItem::menu() const
{
    return m_menu ? m_menu.data() : m_ownMenu;
}

void StatusItem::setMenu(QMenu* menu)
{
    m_menu = menu ? menu : m_ownMenu;
    m_tray->setContextMenu(m_menu);
}

bool StatusItem::setImage(const QString& name)
{
    QString path = QStringLiteral(":/") + name + QStringLiteral(".png");
    if (!QFile::exists(path))
        path = Bundle::main().resourcesPath() + QLatin1Char('/') + name + QStringLiteral(".png");
    const QIcon icon(path);
    if (!QFile::exists(path) || icon.isNull()) {
        Diagnostics::report(QStringLiteral("Status item: no image named %1").arg(name));
        return false;
    }
    m_image = icon;
    m_tray->setIcon(m_image);
    if (m_mode == Mode::statusBar)
        m_tray->show();
    return true;
}
