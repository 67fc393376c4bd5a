#include "control/NvWinow.h"

#include "platform/UserDefaults.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QWindow>

NvWinow::NvWinow(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("NvWinow"));
    setWindowTitle(QStringLiteral("Norvane"));
    // The light appearance, whatever the desktop's theme.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
        fusion->setParent(this);
        setStyle(fusion);
        setPalette(fusion->standardPalette());
    }
    // Moves and resizes come in bursts while dragging; store the frame once they settle.
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(300);
    connect(&m_saveTimer, &QTimer::timeout, this, &NvWinow::saveFrame);
}

QString NvWinow::defaultsKey() const
{
    return QStringLiteral("NSWindow Frame ") + m_autosaveName;
}

void NvWinow::setFrameAutosaveName(const QString& name)
{
    m_autosaveName = name;
    const auto stored = UserDefaults::standard().string(defaultsKey());
    if (!stored)
        return;
    const QStringList parts = stored->split(QLatin1Char(' '));
    QList<int> values;
    for (const QString& part : parts) {
        bool ok = false;
        values.append(part.toInt(&ok));
        if (!ok)
            return;
    }
    if (values.size() != 4 || values[2] <= 0 || values[3] <= 0)
        return;
    // Screens come and go (a projector, a laptop without its monitor): a frame kept from
    // another set-up must not put the window where nobody can see it.
    QList<QRect> screens;
    if (QScreen* primary = QGuiApplication::primaryScreen())
        screens.append(primary->availableGeometry());
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen())
            screens.append(screen->availableGeometry());
    setGeometry(frameOnScreens(QRect(values[0], values[1], values[2], values[3]), screens, minimumSize()));
}

QRect NvWinow::frameOnScreens(const QRect& stored, const QList<QRect>& screens, const QSize& minimum)
{
    QRect frame(stored.topLeft(), stored.size().expandedTo(minimum));
    const QRect grabStrip(frame.left(), frame.top(), frame.width(), qMin(visibleGrabHeight, frame.height()));
    for (const QRect& screen : screens) {
        const QRect visible = screen.intersected(grabStrip);
        if (visible.width() >= qMin(visibleGrabWidth, grabStrip.width()) && visible.height() >= grabStrip.height())
            return frame;
    }
    if (screens.isEmpty())
        return frame;
    const QRect primary = screens.first();
    frame.setSize(frame.size().boundedTo(primary.size()).expandedTo(minimum));
    frame.moveCenter(primary.center());
    return frame;
}

Qt::Edges NvWinow::resizeEdges(const QPointF& position, const QSize& size)
{
    Qt::Edges edges;
    if (position.x() < resizeBorder)
        edges |= Qt::LeftEdge;
    else if (position.x() >= size.width() - resizeBorder)
        edges |= Qt::RightEdge;
    if (position.y() < resizeBorder)
        edges |= Qt::TopEdge;
    else if (position.y() >= size.height() - resizeBorder)
        edges |= Qt::BottomEdge;
    return edges;
}

void NvWinow::setFallbackMenu(QMenu* menu)
{
    m_fallbackMenu = menu;
}

QMenu* NvWinow::fallbackMenu() const
{
    return m_fallbackMenu;
}

bool NvWinow::canResize() const
{
    return !isMaximized() && !isFullScreen() && minimumSize() != maximumSize();
}

void NvWinow::showResizeCursor(Qt::Edges edges)
{
    if (edges == m_cursorEdges)
        return;
    m_cursorEdges = edges;
    if (!edges) {
        unsetCursor();
        return;
    }
    const bool horizontal = edges & (Qt::LeftEdge | Qt::RightEdge);
    const bool vertical = edges & (Qt::TopEdge | Qt::BottomEdge);
    if (horizontal && vertical) {
        const bool falling = edges == (Qt::TopEdge | Qt::LeftEdge) || edges == (Qt::BottomEdge | Qt::RightEdge);
        setCursor(falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor);
    } else {
        setCursor(horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor);
    }
}

bool NvWinow::eventFilter(QObject* watched, QEvent* event)
{
    // The content covers the whole window, so the edges are found on the native window,
    // before any child sees the mouse.
    if (watched != windowHandle() || !canResize())
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->buttons() == Qt::NoButton)
            showResizeCursor(resizeEdges(mouse->position(), size()));
        break;
    }
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const Qt::Edges edges = resizeEdges(mouse->position(), size());
        if (mouse->button() == Qt::LeftButton && edges && windowHandle()->startSystemResize(edges))
            return true;
        break;
    }
    case QEvent::Leave:
        showResizeCursor({});
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void NvWinow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (QWindow* window = windowHandle())
        window->installEventFilter(this);
}

void NvWinow::contextMenuEvent(QContextMenuEvent* event)
{
    if (!m_fallbackMenu) {
        QWidget::contextMenuEvent(event);
        return;
    }
    event->accept();
    m_fallbackMenu->popup(event->globalPos());
}

void NvWinow::center()
{
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = geometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void NvWinow::saveFrame()
{
    if (m_autosaveName.isEmpty())
        return;
    const QRect frame = geometry();
    UserDefaults::standard().setString(
        defaultsKey(),
        QStringLiteral("%1 %2 %3 %4").arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height()));
}

void NvWinow::closeEvent(QCloseEvent* event)
{
    if (shouldClose && !shouldClose()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void NvWinow::mousePressEvent(QMouseEvent* event)
{
    // Presses that no child took land here: the background moves the window.
    if (event->button() == Qt::LeftButton && windowHandle()) {
        windowHandle()->startSystemMove();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void NvWinow::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (!m_autosaveName.isEmpty())
        m_saveTimer.start();
}

void NvWinow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!m_autosaveName.isEmpty())
        m_saveTimer.start();
}
