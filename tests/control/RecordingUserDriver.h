#pragma once

#include "platform/UserDriver.h"

#include <QStringList>

// Records the name of every call it gets and keeps the answers it is handed, for the
// test to give.
class RecordingUserDriver : public UserDriver
{
public:
    explicit RecordingUserDriver(QStringList* calls) : m_calls(calls) {}

    void showUpdatePermissionRequest(std::function<void(bool)>) override { record("showUpdatePermissionRequest"); }
    void showUserInitiatedUpdateCheckWithCancellation(std::function<void()>) override
    {
        record("showUserInitiatedUpdateCheckWithCancellation");
    }
    void showUpdateFoundWithAppcastItem(const AppcastItem& item, UpdateItemState,
                                        std::function<void(UpdateChoice)> reply) override
    {
        record("showUpdateFoundWithAppcastItem");
        foundItem = item;
        foundReply = std::move(reply);
    }
    void showUpdateReleaseNotesWithDownloadData(const QByteArray&) override
    {
        record("showUpdateReleaseNotesWithDownloadData");
    }
    void showUpdateReleaseNotesFailedToDownloadWithError(const UpdateError&) override
    {
        record("showUpdateReleaseNotesFailedToDownloadWithError");
    }
    void showUpdateNotFoundWithError(const UpdateError&, std::function<void()>) override
    {
        record("showUpdateNotFoundWithError");
    }
    void showUpdaterError(const UpdateError& error, std::function<void()>) override
    {
        record("showUpdaterError");
        errors.append(error);
    }
    void showDownloadInitiatedWithCancellation(std::function<void()>) override
    {
        record("showDownloadInitiatedWithCancellation");
    }
    void showDownloadDidReceiveExpectedContentLength(quint64 length) override
    {
        record("showDownloadDidReceiveExpectedContentLength");
        expectedLength = length;
    }
    void showDownloadDidReceiveDataOfLength(quint64 length) override
    {
        record("showDownloadDidReceiveDataOfLength");
        receivedLength += length;
    }
    void showDownloadDidStartExtractingUpdate() override { record("showDownloadDidStartExtractingUpdate"); }
    void showExtractionReceivedProgress(double) override { record("showExtractionReceivedProgress"); }
    void showReadyToInstallAndRelaunch(std::function<void(UpdateChoice)> reply) override
    {
        record("showReadyToInstallAndRelaunch");
        readyReply = std::move(reply);
    }
    void showInstallingUpdateWithApplicationTerminated(bool, std::function<void()>) override
    {
        record("showInstallingUpdateWithApplicationTerminated");
    }
    void showUpdateInstalledAndRelaunched(bool, std::function<void()>) override
    {
        record("showUpdateInstalledAndRelaunched");
    }
    void showUpdateInFocus() override { record("showUpdateInFocus"); }
    void dismissUpdateInstallation() override { record("dismissUpdateInstallation"); }

    AppcastItem foundItem;
    std::function<void(UpdateChoice)> foundReply;
    std::function<void(UpdateChoice)> readyReply;
    QList<UpdateError> errors;
    quint64 expectedLength = 0;
    quint64 receivedLength = 0;

private:
    void record(const char* name) { m_calls->append(QString::fromLatin1(name)); }

    QStringList* m_calls;
};
