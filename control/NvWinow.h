#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

class QMenu;

// The main window: frameless (no system title bar or buttons), light, moved by dragging its
// background and resized by dragging its edges and corners (the window manager does both),
// its frame kept in the user defaults under an autosave name. Closing it is left to
// shouldClose, which hides the application instead.
class NvWinow : public QWidget
{
    Q_OBJECT
public:
    // How far in from the window's border a press starts a resize.
    static constexpr int resizeBorder = 6;
    // How much of a stored frame's top (where the title bar is) must lie on a screen for
    // the frame to be used again.
    static constexpr int visibleGrabWidth = 100;
    static constexpr int visibleGrabHeight = 30;

    explicit NvWinow(QWidget* parent = nullptr);

    // Restores the frame stored under the name (if any) and stores every later change. A
    // frame that lies off every screen is not used: the window keeps its size and is
    // centred instead.
    void setFrameAutosaveName(const QString& name);
    QString frameAutosaveName() const { return m_autosaveName; }
    void center();

    // A stored frame as the window may use it on these screens (available areas, the
    // primary first): unchanged while its top is on one of them, else its size (at least
    // the minimum, at most the primary screen) centred on the primary screen.
    static QRect frameOnScreens(const QRect& stored, const QList<QRect>& screens, const QSize& minimum);
    // The window edges a press at this point of a window of this size would drag.
    static Qt::Edges resizeEdges(const QPointF& position, const QSize& size);

    // The menu the window offers on a secondary click where nothing else takes it (the
    // status menu, while no tray shows it); nullptr for none.
    void setFallbackMenu(QMenu* menu);
    QMenu* fallbackMenu() const;

    // Asked when the window is to close; answering false keeps it open.
    std::function<bool()> shouldClose;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void saveFrame();
    QString defaultsKey() const;
    bool canResize() const;
    void showResizeCursor(Qt::Edges edges);

    QString m_autosaveName;
    QTimer m_saveTimer;
    QPointer<QMenu> m_fallbackMenu;
    Qt::Edges m_cursorEdges;
};
