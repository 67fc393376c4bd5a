#include "control/NvWinow.h"

#include "platform/UserDefaults.h"

#include <QCloseEvent>
#include <QGuiApplication>
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
    setGeometry(values[0], values[1], values[2], values[3]);
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
