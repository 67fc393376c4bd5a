#include "ui/pages/HelpAndSupportView.h"

HelpAndSupportView::HelpAndSupportView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("HelpAndSupportView"));
}
