#include "ui/pages/RelaxedPolicyView.h"

RelaxedPolicyView::RelaxedPolicyView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("RelaxedPolicyView"));
}
