#include "ui/components/AppearAction.h"

#include <QEvent>
#include <QWidget>

AppearAction* AppearAction::attach(QWidget* widget, std::function<void()> action)
{
    return new AppearAction(widget, std::move(action));
}

AppearAction::AppearAction(QWidget* widget, std::function<void()> action)
    : QObject(widget), m_action(std::move(action))
{
    widget->installEventFilter(this);
}

bool AppearAction::eventFilter(QObject* watched, QEvent* event)
{
    // A Show event reaches a widget only when it really becomes visible, also when its
    // window is shown later; hiding the window and showing it again counts anew.
    if (event->type() == QEvent::Show && watched == parent() && m_action)
        m_action();
    return QObject::eventFilter(watched, event);
}
