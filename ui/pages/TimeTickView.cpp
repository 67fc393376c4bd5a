#include "ui/pages/TimeTickView.h"

#include "ui/Fonts.h"
#include "ui/pages/TimeRestrictionBar.h"

#include <QPainter>
#include <cmath>

TimeTickView::TimeTickView(double tickHeight, const QString& text, QWidget* parent)
    : QWidget(parent), m_tickHeight(tickHeight), m_text(text)
{
    setObjectName(QStringLiteral("tick"));
    setFont(Fonts::system(textSize));
    setAccessibleName(text);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    resize(sizeHint());
}

QSize TimeTickView::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    return QSize(metrics.horizontalAdvance(m_text), int(std::ceil(m_tickHeight)) + metrics.height());
}

void TimeTickView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QColor gray = TimeRestrictionBar::gray();
    painter.fillRect(QRectF(width() / 2, 0, 1, m_tickHeight), gray);
    painter.setPen(gray);
    painter.drawText(QRect(0, int(std::ceil(m_tickHeight)), width(), fontMetrics().height()), Qt::AlignCenter,
                     m_text);
}

TimeScaleView::TimeScaleView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("scale"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleName(tr("Time scale"));
    for (const char* text : {"00:00", "12:00", "24:00"})
        m_ticks.append(new TimeTickView(TimeTickView::defaultTickHeight, QString::fromLatin1(text), this));
}

QList<int> TimeScaleView::markPositions() const
{
    return {barLeft() + barWidth() / 4, barLeft() + barWidth() * 3 / 4};
}

QSize TimeScaleView::sizeHint() const
{
    return QSize(400 + 2 * overhang, m_ticks.first()->sizeHint().height());
}

void TimeScaleView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    for (const int x : markPositions())
        painter.fillRect(QRect(x, 0, 1, markHeight), TimeRestrictionBar::gray());
}

void TimeScaleView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The start and end labels sit outside the bar's ends by the same amount as the middle
    // one is centred on its middle.
    TimeTickView* start = m_ticks.at(0);
    TimeTickView* middle = m_ticks.at(1);
    TimeTickView* end = m_ticks.at(2);
    start->move(barLeft() - endLabelOffset, 0);
    middle->move(barLeft() + barWidth() / 2 - middle->width() / 2, 0);
    end->move(barLeft() + barWidth() - end->width() + endLabelOffset, 0);
}
