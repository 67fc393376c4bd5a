#include "ui/pages/BlockHistoryView.h"

BlockHistoryView::BlockHistoryView(SessionObservableObject* sessionModel, QWidget* parent)
    : QWidget(parent), sessionModel(sessionModel)
{
    setObjectName(QStringLiteral("BlockHistoryView"));
}
