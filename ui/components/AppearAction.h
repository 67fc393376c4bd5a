#pragma once

#include <QObject>

#include <functional>

class QWidget;

// Runs an action each time a widget appears on screen (its show event), the way a page
// reports that it is the one shown. Owned by the widget it watches.
class AppearAction : public QObject
{
    Q_OBJECT

public:
    static AppearAction* attach(QWidget* widget, std::function<void()> action);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    AppearAction(QWidget* widget, std::function<void()> action);

    std::function<void()> m_action;
};
