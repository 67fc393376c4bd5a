#pragma once

#include <QWidget>

class LoadingModel;
class SessionObservableObject;

// The sign-in page, shown below the title bar while nobody is signed in. Empty until the
// page is built.
class LoginView : public QWidget
{
    Q_OBJECT

public:
    LoginView(LoadingModel* loadingModel, SessionObservableObject* sessionModel, QWidget* parent = nullptr);

private:
    LoadingModel* loadingModel;
    SessionObservableObject* sessionModel;
};
