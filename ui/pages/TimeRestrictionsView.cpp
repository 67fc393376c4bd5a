#include "ui/pages/TimeRestrictionsView.h"

TimeRestrictionsView::TimeRestrictionsView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TimeRestrictionsView"));
}
