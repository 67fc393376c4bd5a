#pragma once

#include "platform/AppcastItem.h"
#include "platform/UpdateChoice.h"
#include "platform/UpdateError.h"

#include <QByteArray>

#include <functional>

// The user interface of software updates. The updater calls it on the main thread; every
// reply, acknowledgement and cancellation block must be called on the main thread too, at
// most once. dismissUpdateInstallation() ends an update session that showed anything: the
// driver closes whatever it still shows.
class UserDriver
{
public:
    virtual ~UserDriver() = default;

    // Whether to check for updates automatically (asked once, when never decided).
    virtual void showUpdatePermissionRequest(std::function<void(bool automaticChecks)> reply) = 0;
    virtual void showUserInitiatedUpdateCheckWithCancellation(std::function<void()> cancellation) = 0;
    virtual void showUpdateFoundWithAppcastItem(const AppcastItem& item, UpdateItemState state,
                                                std::function<void(UpdateChoice)> reply) = 0;
    // Release notes fetched from the item's release-notes link (HTML).
    virtual void showUpdateReleaseNotesWithDownloadData(const QByteArray& data) = 0;
    virtual void showUpdateReleaseNotesFailedToDownloadWithError(const UpdateError& error) = 0;
    virtual void showUpdateNotFoundWithError(const UpdateError& error, std::function<void()> acknowledgement) = 0;
    virtual void showUpdaterError(const UpdateError& error, std::function<void()> acknowledgement) = 0;
    virtual void showDownloadInitiatedWithCancellation(std::function<void()> cancellation) = 0;
    virtual void showDownloadDidReceiveExpectedContentLength(quint64 expectedContentLength) = 0;
    // Called for each piece received, with the piece's length (not the total).
    virtual void showDownloadDidReceiveDataOfLength(quint64 length) = 0;
    virtual void showDownloadDidStartExtractingUpdate() = 0;
    // 0.0 to 1.0.
    virtual void showExtractionReceivedProgress(double progress) = 0;
    // install: swap and relaunch now; dismiss: install when the program quits; skip: drop it.
    virtual void showReadyToInstallAndRelaunch(std::function<void(UpdateChoice)> reply) = 0;
    // The folders are swapped while the program still runs, so applicationTerminated is
    // false and there is never a termination to retry (the block does nothing).
    virtual void showInstallingUpdateWithApplicationTerminated(bool applicationTerminated,
                                                               std::function<void()> retryTerminatingApplication) = 0;
    virtual void showUpdateInstalledAndRelaunched(bool relaunched, std::function<void()> acknowledgement) = 0;
    // A check was asked for while a session is showing: bring its window forward.
    virtual void showUpdateInFocus() = 0;
    virtual void dismissUpdateInstallation() = 0;
};
