#pragma once

#include "ui/styles/ButtonStyle.h"

// The main action buttons: white label on the accent colour, on black while pressed.
class PrimaryButtonStyle : public ButtonStyle
{
    Q_OBJECT

public:
    // One instance for the process, owned by the application object. Main thread only.
    static PrimaryButtonStyle* shared();
    // Draws `button` in this style from now on.
    static void apply(QPushButton* button);

    QColor foreground(bool pressed) const override;
    QColor background(bool pressed) const override;
};
