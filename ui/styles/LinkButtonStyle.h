#pragma once

#include <QColor>
#include <QProxyStyle>

class QPushButton;

// Buttons that read as links: the label alone, in the link colour, with no ground or
// border, and a pointing hand over it. Pages underline the label by its font.
class LinkButtonStyle : public QProxyStyle
{
    Q_OBJECT

public:
    // One instance for the process, owned by the application object. Main thread only.
    static LinkButtonStyle* shared();
    // Draws `button` in this style from now on, its label underlined.
    static void apply(QPushButton* button);

    // The platform's link colour, darker while pressed.
    static QColor linkColor(bool pressed = false);

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contentsSize,
                           const QWidget* widget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override;

private:
    LinkButtonStyle();
};
