#include "ui/components/Divider.h"

#include <QPainter>

Divider::Divider(Qt::Orientation orientation, QWidget* parent) : QWidget(parent), m_orientation(orientation)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    if (orientation == Qt::Vertical) {
        setFixedWidth(1);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    } else {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
}

QColor Divider::color()
{
    return QColor(0, 0, 0, 26);
}

Qt::Orientation Divider::orientation() const
{
    return m_orientation;
}

void Divider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), color());
}
