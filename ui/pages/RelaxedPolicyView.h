#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class AppDelegate;
class PasscodePopup;
class QLabel;
class QMessageBox;
class RelaxedPolicyMessage;
class SessionObservableObject;

// The relaxed policy: a temporary loosening of the filter within a daily allowance. The
// page shows the uses left today and how long one lasts, and asks the filter extension to
// start or end the policy; the extension's answer comes back over the link and is shown in
// an alert. With the server's passcode requirement on, a passcode sheet comes first. The
// counters themselves change only with fresh session data.
//
// The reply handler sits in the link's handler table only while the page is on screen:
// it runs on the link's delivery thread and passes the alert to the main thread. Everything
// else runs on the main thread. Object names for tests: "title", "enabledText",
// "usesAvailableValue", "timePermittedValue", "useButton", "relinquishButton", "editLink",
// "alert" and "passcodePopup" while they are up.
class RelaxedPolicyView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int titleSize = 20;
    static constexpr int stackSpacing = 10;
    static constexpr int paragraphPadding = 10;
    static constexpr int labelWidth = 100;
    static constexpr int editPadding = 20;
    static constexpr int pagePadding = 16;
    // Time Permitted when the configuration names no duration.
    static const QString noDurationText;

    explicit RelaxedPolicyView(SessionObservableObject* sessionModel, QWidget* parent = nullptr);
    ~RelaxedPolicyView() override;

    // "hh:mm" of a duration in minutes; noDurationText when there is none.
    static QString timePermittedText(qint64 bypassDuration);
    static QString usesAvailableText(qint64 bypassesPermitted);
    // The alert's text for the extension's answer.
    static QString replyText(const RelaxedPolicyMessage& reply);
    // The service's page for the passcode.
    static QString editAddress();

    // Where the page finds the application delegate for the status menu's "Use Relaxed
    // Policy" (tests give their own); an empty function restores AppDelegate::current.
    static void setApplicationDelegate(std::function<AppDelegate*()> delegate);

    // Page actions.
    void useRelaxedPolicy(bool passcodeEntered);
    void relinquishRelaxedPolicy();
    void openPasswordPopup();
    // Closes the sheet as its buttons do: afterwards, unless it was cancelled, the use is
    // tried again, with the passcode when one was typed.
    void closePasswordPopup();
    void okPressed();
    void cancelPressed();
    void openEdit();

    // Page state.
    bool showRelaxedPolicyAlert() const { return m_showRelaxedPolicyAlert; }
    QString relaxedPolicyAlertMessage() const { return m_relaxedPolicyAlertMessage; }
    bool showPasswordPopup() const { return m_showPasswordPopup; }
    QString passswordEntered() const { return m_passswordEntered; }
    bool passswordCancelled() const { return m_passswordCancelled; }
    // Whether this page's reply handler is in the link's table.
    bool isReplyHandlerRegistered() const { return m_handlerRegistered; }

    QMessageBox* alert() const;
    PasscodePopup* passwordPopup() const;
    SessionObservableObject* sessionModel() const { return m_sessionModel; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void buildLayout();
    void updateCounters();
    void showAlert(const QString& message);
    void registerReplyHandler();
    void removeReplyHandler();
    void autoenableIfAsked();

    QPointer<SessionObservableObject> m_sessionModel;
    bool m_showRelaxedPolicyAlert = false;
    QString m_relaxedPolicyAlertMessage;
    bool m_showPasswordPopup = false;
    QString m_passswordEntered;
    bool m_passswordCancelled = false;

    bool m_handlerRegistered = false;
    QPointer<QMessageBox> m_alert;
    QPointer<PasscodePopup> m_popup;
    QWidget* m_enabledRow = nullptr;
    QLabel* m_usesAvailable = nullptr;
    QLabel* m_timePermitted = nullptr;
};
