#pragma once

#include "platform/UpdateChoice.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

// The one window of an update in progress, through its stages: checking, downloading (with
// the bytes received), extracting, ready to install, installing. Cancel stops a check or a
// download; at "ready to install" the user installs now or when the program quits. Closing
// the window is Cancel, or "install on quit" once the update is ready.
//
// Object names for tests: "statusText", "progressBar", "detailText", "cancelButton",
// "installButton", "laterButton".
class UpdateProgressDialog : public QDialog
{
    Q_OBJECT

public:
    enum class Stage
    {
        checking,
        downloading,
        extracting,
        readyToInstall,
        installing,
    };

    UpdateProgressDialog(const QString& applicationName, QWidget* parent = nullptr);

    Stage stage() const { return m_stage; }

    void showChecking();
    void showDownloading();
    void setExpectedLength(quint64 length);
    void addReceivedLength(quint64 length);
    void showExtracting();
    void setExtractionProgress(double progress);
    void showReadyToInstall();
    void showInstalling();

    quint64 expectedLength() const { return m_expected; }
    quint64 receivedLength() const { return m_received; }
    QProgressBar* progressBar() const { return m_bar; }

    // Closes without answering (the update session ended elsewhere).
    void dismissQuietly();

signals:
    void cancelled();
    void readyToInstallChosen(UpdateChoice choice);

protected:
    void done(int result) override;

private:
    void setStage(Stage stage);
    void fitText();
    void showDownloadProgress();
    void cancel();
    void chooseReady(UpdateChoice choice);

    QString m_applicationName;
    Stage m_stage = Stage::checking;
    quint64 m_expected = 0;
    quint64 m_received = 0;
    bool m_quiet = false;

    QLabel* m_status;
    QProgressBar* m_bar;
    QLabel* m_detail;
    QPushButton* m_cancel;
    QPushButton* m_install;
    QPushButton* m_later;
};
