#pragma once

#include <QPointer>
#include <QSize>
#include <QWidget>

#include <functional>

class LoadingModel;
class QMessageBox;
class QVBoxLayout;
class SessionObservableObject;
class TitleBar;

// The main window's content: the title bar above a white page area that shows MainView
// while someone is signed in and the sign-in page otherwise, the busy overlay over that
// area while the loading model is set, and the reboot alert while the session asks for
// one. Main thread only.
class ContentView : public QWidget
{
    Q_OBJECT

public:
    static constexpr QSize minimumContentSize{1000, 600};

    ContentView(SessionObservableObject* sessionModel, LoadingModel* loadingModel, QWidget* parent = nullptr);

    SessionObservableObject* sessionModel() const;
    LoadingModel* loadingModel() const;

    TitleBar* titleBar() const;
    // The white area below the title bar; the busy overlay covers it.
    QWidget* pageArea() const;
    // MainView or LoginView, whichever is shown.
    QWidget* page() const;
    // The reboot alert while it is up, else nullptr.
    QMessageBox* rebootAlert() const;

    // Asks the system to restart; what "Reboot now" runs.
    void restartComputer();
    // Replaces what restartComputer() does (tests must not reboot the machine).
    void setRestartComputer(std::function<void()> restart);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void showPageFor(bool isLoggedIn);
    void followShouldRequestReboot(bool shouldRequestReboot);
    void openRebootAlert();
    void closeRebootAlert();
    void rebootAlertFinished(QMessageBox* alert);

    SessionObservableObject* m_sessionModel;
    LoadingModel* m_loadingModel;
    TitleBar* m_titleBar;
    QWidget* m_pageArea;
    QVBoxLayout* m_pageLayout;
    QWidget* m_page = nullptr;
    bool m_showsMainView = false;
    QPointer<QMessageBox> m_rebootAlert;
    std::function<void()> m_restartComputer;
};
