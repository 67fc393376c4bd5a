// The status item and the window on desktops with either kind of tray, with a tray that
// comes late, and with a second start, against the real program on a virtual display.
#include "DesktopFixture.h"
#include "StatusNotifierWatcherStandIn.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QImage>
#include <QTest>

namespace {

const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");

struct MenuNode
{
    int id = 0;
    QVariantMap properties;
    QList<MenuNode> children;
};

MenuNode readMenuNode(const QDBusArgument& argument)
{
    MenuNode node;
    argument.beginStructure();
    argument >> node.id >> node.properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        node.children.append(readMenuNode(child.variant().value<QDBusArgument>()));
    }
    argument.endArray();
    argument.endStructure();
    return node;
}

class TrayTest : public DesktopFixture
{
protected:
    // Where the item lives: the registering connection's bus name.
    QVariant itemProperty(QDBusConnection& bus, const QString& service, const QString& name)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(service, QStringLiteral("/StatusNotifierItem"),
                                                           QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        call << itemInterface << name;
        const QDBusMessage reply = bus.call(call, QDBus::BlockWithGui, 10000);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {};
        return reply.arguments().first().value<QDBusVariant>().variant();
    }
};

// The status icon as a panel draws it at this size: the item's pixmap of that size, else
// its largest (ARGB32, network order).
QImage pixmapFor(const QVariant& value, const QSize& size)
{
    QList<QImage> images;
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        int width = 0;
        int height = 0;
        QByteArray bytes;
        argument.beginStructure();
        argument >> width >> height >> bytes;
        argument.endStructure();
        if (width <= 0 || height <= 0 || bytes.size() != qsizetype(width) * height * 4)
            continue;
        QImage image(width, height, QImage::Format_ARGB32);
        const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x, p += 4)
                image.setPixel(x, y, qRgba(p[1], p[2], p[3], p[0]));
        images.append(image);
    }
    argument.endArray();
    QImage chosen;
    for (const QImage& image : images)
        if (image.size() == size || (chosen.size() != size && image.width() > chosen.width()))
            chosen = image;
    return chosen;
}

} // namespace

TEST_F(TrayTest, StatusNotifierItemRegistersWithItsIconAndMenuAndOpenShowsTheWindow)
{
    QDBusConnection bus = QDBusConnection::connectToBus(session.busAddress(), QStringLiteral("panel"));
    ASSERT_TRUE(bus.isConnected());
    StatusNotifierWatcherStandIn watcher(bus);
    ASSERT_TRUE(watcher.registerOnBus());

    storeToken();
    auto app = startApp();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !watcher.items.isEmpty(); }, 20000)) << app->output().toStdString();
    const QString item = watcher.items.first().sender;
    EXPECT_TRUE(waitForLog(QStringLiteral("Status item: in the system tray")));

    // Our icon, at its own size.
    const QImage expected = QImage(QStringLiteral(NORVANE_SOURCE_DIR "/resources/StatusIcon.png")).convertToFormat(QImage::Format_ARGB32);
    const QImage shown = pixmapFor(itemProperty(bus, item, QStringLiteral("IconPixmap")), expected.size());
    ASSERT_EQ(shown.size(), expected.size());
    EXPECT_EQ(shown, expected);

    // Its menu, over dbusmenu: the entries in order. The program rebuilds the menu when
    // the extension's user data comes, so a panel reads the layout anew before each use.
    const QString menuPath = itemProperty(bus, item, QStringLiteral("Menu")).value<QDBusObjectPath>().path();
    ASSERT_FALSE(menuPath.isEmpty());
    const auto readMenu = [&] {
        QDBusMessage layoutCall = QDBusMessage::createMethodCall(item, menuPath, menuInterface, QStringLiteral("GetLayout"));
        layoutCall << 0 << -1 << QStringList();
        const QDBusMessage reply = bus.call(layoutCall, QDBus::BlockWithGui, 10000);
        return reply.type() == QDBusMessage::ReplyMessage ? readMenuNode(reply.arguments().at(1).value<QDBusArgument>()) : MenuNode{};
    };
    QStringList labels;
    for (const MenuNode& child : readMenu().children)
        labels.append(child.properties.value(QStringLiteral("label")).toString());
    EXPECT_EQ(labels, (QStringList{QStringLiteral("Open"), QStringLiteral("Block History"), QStringLiteral("Use Relaxed Policy"),
                                   QStringLiteral("Sync Settings")}));

    // Signed in, the window waits hidden for "Open".
    EXPECT_FALSE(mainWindowShown());
    for (int attempt = 0; attempt < 5 && !mainWindowShown(); ++attempt) {
        for (const MenuNode& child : readMenu().children) {
            if (child.properties.value(QStringLiteral("label")).toString() != QLatin1String("Open"))
                continue;
            QDBusMessage clicked = QDBusMessage::createMethodCall(item, menuPath, menuInterface, QStringLiteral("Event"));
            clicked << child.id << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(0)) << 0u;
            bus.call(clicked, QDBus::BlockWithGui, 10000);
        }
        (void)waitForShownMainWindow(5000);
    }
    const auto window = waitForShownMainWindow();
    ASSERT_TRUE(window.has_value());

    // Closing it (its title bar's close button) hides it; the item stays registered.
    EXPECT_TRUE(closeWithItsCloseButton(*window));
    EXPECT_TRUE(itemProperty(bus, item, QStringLiteral("Menu")).isValid());
    EXPECT_TRUE(app->isRunning());
}

TEST_F(TrayTest, XEmbedTrayIconStaysMappedWhenTheWindowCloses)
{
    if (!needs({QStringLiteral("trayer")}))
        return;
    ASSERT_TRUE(session.startTray()) << session.error().toStdString();
    storeToken();
    auto app = startApp();
    ASSERT_TRUE(waitForLog(QStringLiteral("Status item: in the system tray"))) << app->output().toStdString();
    std::optional<QString> icon;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (icon = trayIconWindow()).has_value(); }, 20000));
    EXPECT_TRUE(waitForViewable(*icon, true));

    // A second start brings the hidden window forward, and ends as before.
    EXPECT_FALSE(mainWindowShown());
    auto second = startApp();
    EXPECT_EQ(second->waitForExit(), 0);
    EXPECT_EQ(countLog(QStringLiteral("Gui app is already running")), 1);
    const auto window = waitForShownMainWindow();
    ASSERT_TRUE(window.has_value());

    EXPECT_TRUE(closeWithItsCloseButton(*window));
    EXPECT_TRUE(trayIconWindow().has_value());
    EXPECT_TRUE(session.windowState(*icon)->viewable);
    EXPECT_TRUE(app->isRunning());
}

TEST_F(TrayTest, ATrayThatComesLateTakesOverAndOneThatGoesLeavesTheWindowReachable)
{
    if (!needs({QStringLiteral("trayer"), QStringLiteral("openbox"), QStringLiteral("xprop")}))
        return;
    // A window manager, so that a minimised window is one (iconic, in its task list).
    ASSERT_TRUE(session.startWindowManager()) << session.error().toStdString();
    storeToken();
    auto app = startApp();
    ASSERT_TRUE(waitForLog(QStringLiteral("Status item: no system tray"))) << app->output().toStdString();
    // No tray: the signed-in window is shown, so that something of the program is reachable.
    const auto window = waitForShownMainWindow();
    ASSERT_TRUE(window.has_value());

    // The panel starts after the program (autostart at login): the icon moves into it and
    // the window goes, as it would have with the tray there from the start.
    ASSERT_TRUE(session.startTray()) << session.error().toStdString();
    ASSERT_TRUE(waitForLog(QStringLiteral("Status item: in the system tray")));
    std::optional<QString> icon;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (icon = trayIconWindow()).has_value(); }, 20000));
    EXPECT_TRUE(waitForViewable(*icon, true));
    EXPECT_TRUE(waitForViewable(*window, false));

    // The panel goes away: the window comes back within reach (minimised).
    ASSERT_TRUE(session.stopTray());
    EXPECT_TRUE(waitForLog(QStringLiteral("Status item: no system tray"), 2));
    EXPECT_TRUE(QTest::qWaitFor([&] {
        const auto state = session.run(QStringLiteral("xprop"), {QStringLiteral("-id"), *window, QStringLiteral("WM_STATE")});
        return state && state->contains(QStringLiteral("Iconic"));
    }, 20000));
    EXPECT_TRUE(app->isRunning());
}

TEST_F(TrayTest, AStatusNotifierWatcherThatComesLateGetsTheItem)
{
    storeToken();
    auto app = startApp();
    ASSERT_TRUE(waitForLog(QStringLiteral("Status item: no system tray"))) << app->output().toStdString();
    ASSERT_TRUE(waitForShownMainWindow().has_value());

    // GNOME's AppIndicator extension or a Plasma panel coming up after the program: Qt picks
    // its tray protocol once, so the item must not have been made before the host was there.
    QDBusConnection bus = QDBusConnection::connectToBus(session.busAddress(), QStringLiteral("panel"));
    ASSERT_TRUE(bus.isConnected());
    StatusNotifierWatcherStandIn watcher(bus);
    ASSERT_TRUE(watcher.registerOnBus());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !watcher.items.isEmpty(); }, 20000));
    EXPECT_TRUE(waitForLog(QStringLiteral("Status item: in the system tray")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !mainWindowShown(); }, 20000));

    // The panel goes away: the program is reachable again.
    watcher.unregisterFromBus();
    EXPECT_TRUE(waitForLog(QStringLiteral("Status item: no system tray"), 2));
    EXPECT_TRUE(app->isRunning());
}
