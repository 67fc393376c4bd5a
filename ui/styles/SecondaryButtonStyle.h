#pragma once

#include "ui/styles/ButtonStyle.h"

// The further buttons: black label on a transparent ground, white on black while pressed.
class SecondaryButtonStyle : public ButtonStyle
{
    Q_OBJECT

public:
    // One instance for the process, owned by the application object. Main thread only.
    static SecondaryButtonStyle* shared();
    // Draws `button` in this style from now on.
    static void apply(QPushButton* button);

    QColor foreground(bool pressed) const override;
    QColor background(bool pressed) const override;
};
