#include "ui/components/ActivityIndicator.h"

#include <QPainter>
#include <QPainterPath>

namespace {
// One turn a second.
constexpr int frameInterval = 1000 / ActivityIndicator::spokeCount;
} // namespace

ActivityIndicator::ActivityIndicator(QWidget* parent) : QWidget(parent)
{
    setFixedSize(naturalSize, naturalSize);
    setAttribute(Qt::WA_TranslucentBackground);
    connect(&m_timer, &QTimer::timeout, this, &ActivityIndicator::advance);
    m_timer.start(frameInterval);
}

bool ActivityIndicator::isAnimating() const
{
    return m_timer.isActive();
}

int ActivityIndicator::phase() const
{
    return m_phase;
}

QSize ActivityIndicator::sizeHint() const
{
    return QSize(naturalSize, naturalSize);
}

void ActivityIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(rect().center() + QPointF(0.5, 0.5));

    const qreal outer = naturalSize / 2.0 - 1;
    const qreal inner = outer * 0.45;
    const qreal width = outer * 0.19;
    QColor color = palette().color(foregroundRole());
    const qreal baseAlpha = color.alphaF();
    QPen pen;
    pen.setWidthF(width);
    pen.setCapStyle(Qt::RoundCap);

    for (int i = 0; i < spokeCount; ++i) {
        // Spokes fade behind the brightest one, clockwise.
        const int age = (m_phase - i + spokeCount) % spokeCount;
        color.setAlphaF(baseAlpha * (1.0 - 0.75 * age / (spokeCount - 1)));
        pen.setColor(color);
        painter.setPen(pen);
        painter.save();
        painter.rotate(360.0 * i / spokeCount);
        painter.drawLine(QPointF(0, -inner), QPointF(0, -outer + width / 2));
        painter.restore();
    }
}

void ActivityIndicator::advance()
{
    m_phase = (m_phase + 1) % spokeCount;
    emit phaseChanged(m_phase);
    update();
}
