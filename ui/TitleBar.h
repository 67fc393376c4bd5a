#pragma once

#include <QWidget>

#include <functional>

class FAText;
class QLabel;
class QPushButton;
class SessionObservableObject;

// The bar above every page area, signed in or not, on the window's accent ground: the
// close button, the product name and version, the signed-in e-mail and the internet
// indicator, all in white. The e-mail is read again whenever the session state changes,
// as the bar is redrawn then.
class TitleBar : public QWidget
{
    Q_OBJECT

public:
    static constexpr int barHeight = 30;
    static constexpr int padding = 8;

    explicit TitleBar(SessionObservableObject* sessionModel, QWidget* parent = nullptr);

    // "NORVANE", followed by " - VERSION " and the version unless it is empty.
    static QString titleText(const QString& version);

    // What the close button runs: hides the application while a token is stored; without
    // one stops the launch agent and ends the process with status 0.
    void closeAction();
    // Replace how the application is hidden and how the process is ended (tests).
    void setHideApplication(std::function<void()> hide);
    void setTerminate(std::function<void(int)> terminate);

    QPushButton* closeButton() const;
    QLabel* titleLabel() const;
    QLabel* emailLabel() const;
    FAText* internetIndicator() const;

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void refresh();

private:
    SessionObservableObject* m_sessionModel;
    QPushButton* m_closeButton;
    QLabel* m_titleLabel;
    QLabel* m_emailLabel;
    FAText* m_internetIndicator;
    std::function<void()> m_hideApplication;
    std::function<void(int)> m_terminate;
};
