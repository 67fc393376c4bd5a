#include "ui/pages/FilterTestView.h"

FilterTestView::FilterTestView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FilterTestView"));
}
