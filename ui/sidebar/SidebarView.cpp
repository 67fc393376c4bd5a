#include "ui/sidebar/SidebarView.h"

SidebarView::SidebarView(SessionObservableObject* sessionModel, QWidget* parent)
    : QWidget(parent), sessionModel(sessionModel)
{
    setObjectName(QStringLiteral("SidebarView"));
    setFixedWidth(columnWidth);
}
