#include "ui/pages/MyBlockedSitesView.h"

MyBlockedSitesView::MyBlockedSitesView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("MyBlockedSitesView"));
}
