#include "ui/pages/LoginView.h"

LoginView::LoginView(LoadingModel* loadingModel, SessionObservableObject* sessionModel, QWidget* parent)
    : QWidget(parent), loadingModel(loadingModel), sessionModel(sessionModel)
{
    setObjectName(QStringLiteral("LoginView"));
}
