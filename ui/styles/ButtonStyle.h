#pragma once

#include <QProxyStyle>

class QPushButton;

// What the two button styles share: the label on a solid ground, padded by
// Styles::buttonPadding, with a black border drawn inside the button's rectangle and
// square corners. A style is a function of the pressed state only, so a disabled button
// keeps its resting look; it just cannot be pressed. Set it on a QPushButton through the
// subclasses' apply().
class ButtonStyle : public QProxyStyle
{
    Q_OBJECT

public:
    // pressed: the button is held down (or checked).
    virtual QColor foreground(bool pressed) const = 0;
    virtual QColor background(bool pressed) const = 0;

    // The size of a button whose label measures `label`.
    static QSize sizeForLabel(const QSize& label);

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contentsSize,
                           const QWidget* widget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override;

protected:
    ButtonStyle();
    // Sets `style` on the button and gives it its natural size, as a styled button has.
    static void applyTo(QPushButton* button, ButtonStyle* style);

private:
    void drawButton(const QStyleOption* option, QPainter* painter, const QWidget* widget) const;
};
