#include "ui/styles/ButtonStyle.h"

#include "ui/styles/Styles.h"

#include <QPainter>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOptionButton>

namespace {
constexpr int iconTextSpacing = 4;
}

ButtonStyle::ButtonStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

QSize ButtonStyle::sizeForLabel(const QSize& label)
{
    const QMargins& padding = Styles::buttonPadding;
    return label.grownBy(padding);
}

void ButtonStyle::applyTo(QPushButton* button, ButtonStyle* style)
{
    button->setStyle(style);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // The cached size hint belongs to the previous style.
    button->updateGeometry();
}

void ButtonStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                              const QWidget* widget) const
{
    if (element == CE_PushButton && qstyleoption_cast<const QStyleOptionButton*>(option)) {
        drawButton(option, painter, widget);
        return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

QSize ButtonStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contentsSize,
                                    const QWidget* widget) const
{
    if (type == CT_PushButton)
        return sizeForLabel(contentsSize);
    return QProxyStyle::sizeFromContents(type, option, contentsSize, widget);
}

int ButtonStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    // The label stays where it is while the button is pressed.
    if (metric == PM_ButtonShiftHorizontal || metric == PM_ButtonShiftVertical)
        return 0;
    return QProxyStyle::pixelMetric(metric, option, widget);
}

void ButtonStyle::drawButton(const QStyleOption* option, QPainter* painter, const QWidget* widget) const
{
    const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
    const bool pressed = button->state & (State_Sunken | State_On);
    const QRect rect = button->rect;

    painter->save();
    painter->fillRect(rect, background(pressed));

    const int border = Styles::buttonBorderWidth;
    const QColor borderColor = Styles::buttonBorderColor();
    painter->fillRect(QRect(rect.left(), rect.top(), rect.width(), border), borderColor);
    painter->fillRect(QRect(rect.left(), rect.bottom() - border + 1, rect.width(), border), borderColor);
    painter->fillRect(QRect(rect.left(), rect.top(), border, rect.height()), borderColor);
    painter->fillRect(QRect(rect.right() - border + 1, rect.top(), border, rect.height()), borderColor);

    const QRect labelRect = rect.marginsRemoved(Styles::buttonPadding);
    int textFlags = Qt::AlignCenter | Qt::TextShowMnemonic;
    if (!proxy()->styleHint(SH_UnderlineShortcut, button, widget))
        textFlags |= Qt::TextHideMnemonic;

    QRect textRect = labelRect;
    if (!button->icon.isNull()) {
        const QSize iconSize = button->iconSize;
        const int textWidth = button->text.isEmpty() ? 0 : button->fontMetrics.size(textFlags, button->text).width();
        const int spacing = button->text.isEmpty() ? 0 : iconTextSpacing;
        const int totalWidth = iconSize.width() + spacing + textWidth;
        const int left = labelRect.left() + (labelRect.width() - totalWidth) / 2;
        const QRect iconRect(left, labelRect.top() + (labelRect.height() - iconSize.height()) / 2, iconSize.width(),
                             iconSize.height());
        const qreal ratio = painter->device()->devicePixelRatio();
        painter->drawPixmap(iconRect, button->icon.pixmap(iconSize, ratio));
        textRect.setLeft(iconRect.right() + 1 + spacing);
        textFlags = (textFlags & ~Qt::AlignHCenter) | Qt::AlignLeft;
    }

    painter->setPen(foreground(pressed));
    painter->setFont(widget ? widget->font() : painter->font());
    painter->drawText(textRect, textFlags, button->text);
    painter->restore();
}
