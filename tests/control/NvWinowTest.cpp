#include "control/NvWinow.h"

#include "platform/UserDefaults.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>

#include <gtest/gtest.h>

TEST(NvWinow, AStoredFrameIsUsedOnlyWhereItsTopIsOnAScreen)
{
    const QRect primary(0, 0, 1920, 1080);
    const QRect right(1920, 0, 1280, 1024);
    const QSize minimum(1000, 600);
    struct Case
    {
        const char* what;
        QRect stored;
        QList<QRect> screens;
        QRect expected;
    };
    const Case cases[] = {
        {"on the primary screen", QRect(100, 100, 1200, 800), {primary}, QRect(100, 100, 1200, 800)},
        {"on the second screen", QRect(2000, 50, 1000, 700), {primary, right}, QRect(2000, 50, 1000, 700)},
        {"its screen is gone", QRect(2000, 50, 1000, 700), {primary}, QRect(460, 190, 1000, 700)},
        {"far above every screen", QRect(100, -2000, 1000, 700), {primary, right}, QRect(460, 190, 1000, 700)},
        {"only its bottom shows", QRect(100, -650, 1000, 700), {primary}, QRect(460, 190, 1000, 700)},
        {"top edge a few pixels on", QRect(1900, 100, 1000, 700), {primary}, QRect(460, 190, 1000, 700)},
        {"top edge 100 pixels on", QRect(1820, 100, 1000, 700), {primary}, QRect(1820, 100, 1000, 700)},
        {"smaller than the minimum", QRect(10, 10, 400, 300), {primary}, QRect(10, 10, 1000, 600)},
        {"larger than a gone screen", QRect(5000, 0, 3000, 2000), {primary}, QRect(0, 0, 1920, 1080)},
        {"no screens known", QRect(5000, 0, 1000, 700), {}, QRect(5000, 0, 1000, 700)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NvWinow::frameOnScreens(c.stored, c.screens, minimum), c.expected) << c.what;
}

TEST(NvWinow, PressesNearTheBorderDragTheNearestEdges)
{
    const QSize size(1000, 700);
    struct Case
    {
        QPointF at;
        Qt::Edges edges;
    };
    const Case cases[] = {
        {{500, 350}, {}},
        {{0, 350}, Qt::LeftEdge},
        {{5.9, 350}, Qt::LeftEdge},
        {{6, 350}, {}},
        {{999, 350}, Qt::RightEdge},
        {{994, 350}, Qt::RightEdge},
        {{993, 350}, {}},
        {{500, 0}, Qt::TopEdge},
        {{500, 699}, Qt::BottomEdge},
        {{2, 2}, Qt::TopEdge | Qt::LeftEdge},
        {{998, 698}, Qt::BottomEdge | Qt::RightEdge},
        {{998, 1}, Qt::TopEdge | Qt::RightEdge},
        {{1, 698}, Qt::BottomEdge | Qt::LeftEdge},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NvWinow::resizeEdges(c.at, size), c.edges) << c.at.x() << "," << c.at.y();
}

TEST(NvWinow, AnOffScreenFrameComesBackCentredAndAVisibleOneAsStored)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    UserDefaults::standard().setString(QStringLiteral("NSWindow Frame Test"), QStringLiteral("-5000 -5000 300 200"));
    NvWinow lost;
    lost.resize(300, 200);
    lost.setFrameAutosaveName(QStringLiteral("Test"));
    EXPECT_EQ(lost.geometry().center(), screen.center());
    EXPECT_EQ(lost.size(), QSize(300, 200));

    const QRect onScreen(screen.topLeft() + QPoint(20, 30), QSize(320, 240));
    UserDefaults::standard().setString(QStringLiteral("NSWindow Frame Kept"), QStringLiteral("%1 %2 320 240").arg(onScreen.x()).arg(onScreen.y()));
    NvWinow kept;
    kept.setFrameAutosaveName(QStringLiteral("Kept"));
    EXPECT_EQ(kept.geometry(), onScreen);
}

TEST(NvWinow, TheFallbackMenuOpensOnASecondaryClickOnlyWhileSet)
{
    NvWinow window;
    window.resize(400, 300);
    window.show();
    QMenu menu;
    menu.addAction(QStringLiteral("Open"));
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(50, 50), window.mapToGlobal(QPoint(50, 50)));
    QApplication::sendEvent(&window, &click);
    EXPECT_FALSE(menu.isVisible());

    window.setFallbackMenu(&menu);
    QApplication::sendEvent(&window, &click);
    EXPECT_TRUE(menu.isVisible());
    menu.close();
}
