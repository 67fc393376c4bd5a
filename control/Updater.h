#pragma once

#include "core/SessionObservableObject.h"
#include "platform/SoftwareUpdater.h"
#include "platform/SoftwareUpdaterDelegate.h"
#include "platform/UserDriver.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

// Software updates: two updaters, one for the application's bundle and one for the filter
// extension's, fed from the management server's update feed. The offered item is the first
// one on the configured update channel. The updater's events become the session state's
// updateStatus and lastUpdateTimeString; before the program relaunches into a new version
// the extension is told and the time is stored, so that the next start asks for a reboot.
//
// This object is the delegate and the user driver of both updaters; most user-interface
// calls are passed on to the standard driver (uiDriver). Main thread only.
class Updater : public QObject, public SoftwareUpdaterDelegate, public UserDriver
{
    Q_OBJECT
public:
    // What tests replace: the windows, the clock, and how the new version is started.
    struct Options
    {
        std::function<std::unique_ptr<UserDriver>()> makeUserDriver; // default: StandardUserDriver
        std::function<QDateTime()> now;                               // default: the current time
        SoftwareUpdater::Relauncher relauncher;                       // default: once this process ended
    };

    const double MIN_UPDATER_INTERVAL_SEC;
    std::unique_ptr<SoftwareUpdater> spUpdaterMain;
    std::unique_ptr<SoftwareUpdater> spUpdaterExtension;
    const std::unique_ptr<UserDriver> uiDriver;

    explicit Updater(QObject* parent = nullptr);
    explicit Updater(Options options, QObject* parent = nullptr);
    ~Updater() override;

    // The state object the updater writes to (the application delegate's).
    void setSessionModel(SessionObservableObject* sessionModel);

    // Recreates and starts both updaters, with automatic checks off, and closes any update
    // window still open. Run before every check.
    void setup();
    // The automatic check: at most once an hour after the last one.
    void checkForUpdatesIfNeeded();
    // The user-initiated check of the advanced page.
    void checkForUpdates();
    // lastUpdateTimeString = the last check's time (now when there was none), short styles.
    void refreshLastUpdateTime();

    // SoftwareUpdaterDelegate
    QString feedURLStringForUpdater(SoftwareUpdater& updater) override;
    std::optional<AppcastItem> bestValidUpdateInAppcast(const Appcast& appcast, SoftwareUpdater& updater) override;
    void didAbortWithError(SoftwareUpdater& updater, const UpdateError& error) override;
    void didFindValidUpdate(SoftwareUpdater& updater, const AppcastItem& item) override;
    void updaterDidNotFindUpdate(SoftwareUpdater& updater) override;
    void updaterWillRelaunchApplication(SoftwareUpdater& updater) override;

    // UserDriver
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

    // The channel whose first item is offered: the configuration's UpdateChannel, else "Stable".
    static QString wantedChannel();

private:
    std::unique_ptr<SoftwareUpdater> makeUpdater(const Bundle& hostBundle);
    void setUpdateStatus(SessionObservableObject::UpdateStatus status);
    QDateTime now() const;

    Options m_options;
    QPointer<SessionObservableObject> m_sessionModel;
};
