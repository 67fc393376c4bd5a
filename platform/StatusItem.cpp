#include "platform/StatusItem.h"

#include "platform/Bundle.h"
#include "platform/Diagnostics.h"
#include "platform/TrayHostWatcher.h"

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
    : QObject(parent), m_ownMenu(new QMenu), m_menu(m_ownMenu), m_hosts(new TrayHostWatcher(this))
{
    initResources();
    m_ownMenu->setTitle(QStringLiteral("NV StatusBar Menu"));
    connect(m_hosts, &TrayHostWatcher::changed, this, &StatusItem::followHosts);
    if (m_hosts->isAvailable())
        m_protocol = createTrayIcon();
    m_mode = hostOfTrayIconPresent() ? Mode::statusBar : Mode::window;
    reportMode();
}

StatusItem::~StatusItem()
{
    delete m_ownMenu;
}

StatusItem::Protocol StatusItem::createTrayIcon()
{
    m_tray = new QSystemTrayIcon(this);
    m_tray->setContextMenu(m_menu);
    if (!m_image.isNull()) {
        m_tray->setIcon(m_image);
        m_tray->show();
    }
    // A click on the icon opens the menu, as a status item does.
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger && m_menu)
            m_menu->popup(QCursor::pos());
    });
    // Qt prefers the StatusNotifier host when both are there; on a platform without any
    // tray support (offscreen) it has none.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return Protocol::none;
    return m_hosts->hasStatusNotifierHost() ? Protocol::statusNotifier : Protocol::xembed;
}

bool StatusItem::hostOfTrayIconPresent() const
{
    switch (m_protocol) {
    case Protocol::statusNotifier:
        return m_hosts->hasStatusNotifierHost();
    case Protocol::xembed:
        return m_hosts->hasXEmbedTray();
    case Protocol::none:
        return false;
    }
    return false;
}

void StatusItem::followHosts()
{
    if (!m_tray && m_hosts->isAvailable())
        m_protocol = createTrayIcon();
    const Mode mode = hostOfTrayIconPresent() ? Mode::statusBar : Mode::window;
    if (mode == m_mode)
        return;
    m_mode = mode;
    reportMode();
    emit modeChanged(mode);
}

void StatusItem::reportMode() const
{
    Diagnostics::report(m_mode == Mode::statusBar
                            ? QStringLiteral("Status item: in the system tray; closing the window hides the application")
                            : QStringLiteral("Status item: no system tray; the window stays reachable and offers the status menu"));
}

QMenu* StatusItem::menu() const
{
    return m_menu ? m_menu.data() : m_ownMenu;
}

void StatusItem::setMenu(QMenu* menu)
{
    m_menu = menu ? menu : m_ownMenu;
    if (m_tray)
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
    if (m_tray) {
        m_tray->setIcon(m_image);
        // Stays shown for good: Qt docks it again when an XEmbed tray comes back and
        // registers it again with a restarted StatusNotifierWatcher.
        m_tray->show();
    }
    return true;
}
