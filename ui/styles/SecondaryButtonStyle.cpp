#include "ui/styles/SecondaryButtonStyle.h"

#include <QApplication>
#include <QPointer>

SecondaryButtonStyle* SecondaryButtonStyle::shared()
{
    static QPointer<SecondaryButtonStyle> instance;
    if (!instance) {
        instance = new SecondaryButtonStyle;
        instance->setParent(qApp);
    }
    return instance;
}

void SecondaryButtonStyle::apply(QPushButton* button)
{
    applyTo(button, shared());
}

QColor SecondaryButtonStyle::foreground(bool pressed) const
{
    return pressed ? Qt::white : Qt::black;
}

QColor SecondaryButtonStyle::background(bool pressed) const
{
    return pressed ? QColor(Qt::black) : QColor(0, 0, 0, 0);
}
