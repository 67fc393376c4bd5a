#pragma once

#include "core/LoadingModel.h"
#include "core/SessionObservableObject.h"

#include <QMap>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>

class LineLimitedLabel;
class QTimer;

// The sign-in page, shown below the title bar while nobody is signed in. Two ways in: the
// e-mail and password, whose reply is the token; or an e-mail to the user, after which the
// page polls the retrieve-token request until the server hands out a token for this
// device. Either ends by setting the session's isLoggedIn, which replaces the page.
//
// Each instance is the page's state afresh: ContentView builds a new one whenever the
// page is shown. It polls once when it first appears and starts its timer then. Main
// thread only. Widgets carry object names for tests: "form" (the 300-wide block) holding
// "title", "emailLabel", "emailField", "passwordLabel", "passwordField", "errorText",
// "loginWithPasswordButton" and "loginWithEmailButton".
class LoginView : public QWidget
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds defaultTimerInterval{10'000};
    static constexpr int formWidth = 300;
    static constexpr int formHeight = 150;
    static constexpr int titleFontSize = 20;
    static constexpr int stackSpacing = 8;
    static constexpr int fieldGroupSpacing = 2;
    static constexpr int pagePadding = 16;
    static constexpr int errorTextLineLimit = 4;
    static const QString emailPattern;

    LoginView(LoadingModel* loadingModel, SessionObservableObject* sessionModel, QWidget* parent = nullptr);

    // The whole text matches emailPattern, case-sensitively.
    static bool isValidEmail(const QString& email);

    // The interval of the poll timer of pages made from now on (tests shorten it).
    static void setTimerInterval(std::chrono::milliseconds interval);
    static std::chrono::milliseconds timerInterval();
    // What a password sign-in runs once signed in; by default it asks the application
    // delegate to activate the filter extension. Tests replace it; an empty function
    // restores the default.
    static void setActivationRequest(std::function<void()> request);

    // Page actions.
    void loginWithPassword();
    void loginWithEmail();
    // One retrieve-token request: on appearance, and on each timer tick while an e-mail
    // sign-in is pending.
    void pollToken();

    // Page state.
    QString email() const { return m_email; }
    QString password() const { return m_password; }
    QString errorText() const { return m_errorText; }
    bool isTimerRunning() const { return m_isTimerRunning; }
    QTimer* timer() const { return m_timer; }

    LoadingModel* loadingModel() const { return m_loadingModel; }
    SessionObservableObject* sessionModel() const { return m_sessionModel; }

signals:
    void errorTextChanged(const QString& errorText);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildLayout();
    void setErrorText(const QString& text);
    void timerTick();
    static void requestActivation();
    // The e-mail and the device parameters; on a shared key the device's value wins.
    static QMap<QString, QString> parametersFor(const QString& email);
    // A failed reply's body as text: valid, non-empty UTF-8, else nothing.
    static std::optional<QString> failureText(const QByteArray& body);

    QPointer<LoadingModel> m_loadingModel;
    QPointer<SessionObservableObject> m_sessionModel;
    QString m_email;
    QString m_password;
    QString m_errorText;
    bool m_isTimerRunning = false;
    QTimer* m_timer;
    bool m_hasAppeared = false;

    LineLimitedLabel* m_errorLabel = nullptr;
    QWidget* m_emailField = nullptr;
};
