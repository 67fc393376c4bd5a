#include "ui/styles/LinkButtonStyle.h"

#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOptionButton>

LinkButtonStyle::LinkButtonStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

LinkButtonStyle* LinkButtonStyle::shared()
{
    static QPointer<LinkButtonStyle> instance;
    if (!instance) {
        instance = new LinkButtonStyle;
        instance->setParent(qApp);
    }
    return instance;
}

void LinkButtonStyle::apply(QPushButton* button)
{
    button->setStyle(shared());
    QFont font = button->font();
    font.setUnderline(true);
    button->setFont(font);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    button->updateGeometry();
}

QColor LinkButtonStyle::linkColor(bool pressed)
{
    return pressed ? QColor::fromRgb(0, 64, 160) : QColor::fromRgb(0, 104, 218);
}

void LinkButtonStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                  const QWidget* widget) const
{
    const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
    if (element != CE_PushButton || !button) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    painter->save();
    painter->setPen(linkColor(button->state & (State_Sunken | State_On)));
    painter->setFont(widget ? widget->font() : painter->font());
    painter->drawText(button->rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextHideMnemonic, button->text);
    if (button->state & State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(*option);
        proxy()->drawPrimitive(PE_FrameFocusRect, &focus, painter, widget);
    }
    painter->restore();
}

QSize LinkButtonStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contentsSize,
                                        const QWidget* widget) const
{
    if (type == CT_PushButton)
        return contentsSize;
    return QProxyStyle::sizeFromContents(type, option, contentsSize, widget);
}

int LinkButtonStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    if (metric == PM_ButtonShiftHorizontal || metric == PM_ButtonShiftVertical)
        return 0;
    return QProxyStyle::pixelMetric(metric, option, widget);
}
