#include "ui/pages/AdvancedView.h"

AdvancedView::AdvancedView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("AdvancedView"));
}
