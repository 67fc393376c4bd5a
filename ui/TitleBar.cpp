#include "ui/TitleBar.h"

TitleBar::TitleBar(SessionObservableObject* sessionModel, QWidget* parent)
    : QWidget(parent), sessionModel(sessionModel)
{
    setObjectName(QStringLiteral("TitleBar"));
    setFixedHeight(barHeight);
}
