#pragma once

#include "platform/Bundle.h"
#include "platform/UpdateFoundDialog.h"
#include "platform/UpdateProgressDialog.h"
#include "platform/UserDriver.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>

// The update windows of the desktop: the question whether to check automatically, the
// offered update with its release notes, one progress window from the check through the
// download, unpacking and installation, and alerts for "up to date", errors and a finished
// installation. None of them blocks: each is shown and answers later through its reply,
// acknowledgement or cancellation, which runs at most once. dismissUpdateInstallation()
// closes the update and progress windows without answering; an alert stays until it is
// acknowledged. Main thread only.
class StandardUserDriver : public QObject, public UserDriver
{
    Q_OBJECT

public:
    explicit StandardUserDriver(Bundle hostBundle, QObject* parent = nullptr);
    ~StandardUserDriver() override;

    void showUpdatePermissionRequest(std::function<void(bool automaticChecks)> reply) override;
    void showUserInitiatedUpdateCheckWithCancellation(std::function<void()> cancellation) override;
    void showUpdateFoundWithAppcastItem(const AppcastItem& item, UpdateItemState state,
                                        std::function<void(UpdateChoice)> reply) override;
    void showUpdateReleaseNotesWithDownloadData(const QByteArray& data) override;
    void showUpdateReleaseNotesFailedToDownloadWithError(const UpdateError& error) override;
    void showUpdateNotFoundWithError(const UpdateError& error, std::function<void()> acknowledgement) override;
    void showUpdaterError(const UpdateError& error, std::function<void()> acknowledgement) override;
    void showDownloadInitiatedWithCancellation(std::function<void()> cancellation) override;
    void showDownloadDidReceiveExpectedContentLength(quint64 expectedContentLength) override;
    void showDownloadDidReceiveDataOfLength(quint64 length) override;
    void showDownloadDidStartExtractingUpdate() override;
    void showExtractionReceivedProgress(double progress) override;
    void showReadyToInstallAndRelaunch(std::function<void(UpdateChoice)> reply) override;
    void showInstallingUpdateWithApplicationTerminated(bool applicationTerminated,
                                                       std::function<void()> retryTerminatingApplication) override;
    void showUpdateInstalledAndRelaunched(bool relaunched, std::function<void()> acknowledgement) override;
    void showUpdateInFocus() override;
    void dismissUpdateInstallation() override;

    // What is open now (nullptr when nothing is), for tests and screenshots.
    QMessageBox* permissionRequest() const { return m_permissionRequest; }
    UpdateFoundDialog* updateFoundDialog() const { return m_updateFound; }
    UpdateProgressDialog* progressDialog() const { return m_progress; }
    QMessageBox* alert() const { return m_alert; }

    QString applicationName() const;
    QString installedVersion() const;

private:
    UpdateProgressDialog* progress();
    void closeProgress();
    void closeUpdateFound();
    void closeAlert();
    QMessageBox* showAlert(const QString& title, const QString& text, const QString& detail, bool warning,
                           std::function<void()> acknowledgement);
    static void present(QWidget* window);

    Bundle m_hostBundle;
    QPointer<QMessageBox> m_permissionRequest;
    QPointer<UpdateFoundDialog> m_updateFound;
    QPointer<UpdateProgressDialog> m_progress;
    QPointer<QMessageBox> m_alert;
    // The current step's answer; replaced by each step, cleared once called.
    std::function<void()> m_cancellation;
    std::function<void(UpdateChoice)> m_readyReply;
};
