#include "ui/styles/PrimaryButtonStyle.h"

#include "ui/styles/Styles.h"

#include <QApplication>
#include <QPointer>

PrimaryButtonStyle* PrimaryButtonStyle::shared()
{
    static QPointer<PrimaryButtonStyle> instance;
    if (!instance) {
        instance = new PrimaryButtonStyle;
        instance->setParent(qApp);
    }
    return instance;
}

void PrimaryButtonStyle::apply(QPushButton* button)
{
    applyTo(button, shared());
}

QColor PrimaryButtonStyle::foreground(bool) const
{
    return Qt::white;
}

QColor PrimaryButtonStyle::background(bool pressed) const
{
    return pressed ? QColor(Qt::black) : Styles::accentColor();
}
