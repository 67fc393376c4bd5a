#pragma once

#include "platform/SoftwareUpdater.h"
#include "platform/SoftwareUpdaterDelegate.h"
#include "platform/UserDriver.h"

#include <QStringList>
#include <QTimer>

#include <optional>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace UpdateTest {

// Records every call and answers like a user would, a moment later from the event loop.
class RecordingUserDriver : public UserDriver
{
public:
    QStringList calls;
    std::optional<UpdateChoice> answerToUpdateFound = UpdateChoice::install;
    std::optional<UpdateChoice> answerToReadyToInstall = UpdateChoice::install;
    bool acknowledge = true;
    std::optional<bool> permissionAnswer;
    bool cancelDownloadOnFirstData = false;

    std::optional<AppcastItem> offered;
    UpdateItemState offeredState;
    UpdateError shownError;
    quint64 expectedLength = 0;
    quint64 received = 0;
    QList<double> extraction;
    QByteArray releaseNotes;
    std::function<void()> cancellation;

    int count(const QString& call) const { return int(calls.count(call)); }

    void showUpdatePermissionRequest(std::function<void(bool)> reply) override
    {
        calls << QStringLiteral("permission");
        if (permissionAnswer)
            later([reply, answer = *permissionAnswer] { reply(answer); });
    }
    void showUserInitiatedUpdateCheckWithCancellation(std::function<void()> cancel) override
    {
        calls << QStringLiteral("userInitiatedCheck");
        cancellation = cancel;
    }
    void showUpdateFoundWithAppcastItem(const AppcastItem& item, UpdateItemState state,
                                        std::function<void(UpdateChoice)> reply) override
    {
        calls << QStringLiteral("updateFound");
        offered = item;
        offeredState = state;
        if (answerToUpdateFound)
            later([reply, choice = *answerToUpdateFound] { reply(choice); });
    }
    void showUpdateReleaseNotesWithDownloadData(const QByteArray& data) override
    {
        calls << QStringLiteral("releaseNotes");
        releaseNotes = data;
    }
    void showUpdateReleaseNotesFailedToDownloadWithError(const UpdateError&) override
    {
        calls << QStringLiteral("releaseNotesFailed");
    }
    void showUpdateNotFoundWithError(const UpdateError& error, std::function<void()> acknowledgement) override
    {
        calls << QStringLiteral("notFound");
        shownError = error;
        if (acknowledge)
            later(acknowledgement);
    }
    void showUpdaterError(const UpdateError& error, std::function<void()> acknowledgement) override
    {
        calls << QStringLiteral("error");
        shownError = error;
        if (acknowledge)
            later(acknowledgement);
    }
    void showDownloadInitiatedWithCancellation(std::function<void()> cancel) override
    {
        calls << QStringLiteral("downloadStarted");
        cancellation = cancel;
    }
    void showDownloadDidReceiveExpectedContentLength(quint64 length) override
    {
        calls << QStringLiteral("expectedLength");
        expectedLength = length;
    }
    void showDownloadDidReceiveDataOfLength(quint64 length) override
    {
        if (received == 0 && cancelDownloadOnFirstData)
            later(cancellation);
        received += length;
    }
    void showDownloadDidStartExtractingUpdate() override { calls << QStringLiteral("extracting"); }
    void showExtractionReceivedProgress(double progress) override { extraction << progress; }
    void showReadyToInstallAndRelaunch(std::function<void(UpdateChoice)> reply) override
    {
        calls << QStringLiteral("readyToInstall");
        if (answerToReadyToInstall)
            later([reply, choice = *answerToReadyToInstall] { reply(choice); });
    }
    void showInstallingUpdateWithApplicationTerminated(bool, std::function<void()>) override
    {
        calls << QStringLiteral("installing");
    }
    void showUpdateInstalledAndRelaunched(bool relaunched, std::function<void()> acknowledgement) override
    {
        calls << (relaunched ? QStringLiteral("installedAndRelaunched") : QStringLiteral("installedNotRelaunched"));
        if (acknowledge)
            later(acknowledgement);
    }
    void showUpdateInFocus() override { calls << QStringLiteral("inFocus"); }
    void dismissUpdateInstallation() override { calls << QStringLiteral("dismiss"); }

private:
    static void later(std::function<void()> block) { QTimer::singleShot(0, [block] { block(); }); }
};

class RecordingDelegate : public SoftwareUpdaterDelegate
{
public:
    QString feedURL;
    // Which item to offer; the first one when unset.
    std::function<std::optional<AppcastItem>(const Appcast&)> choose;
    QStringList events;
    QList<UpdateError> aborts;
    int itemsSeen = -1;

    QString feedURLStringForUpdater(SoftwareUpdater&) override { return feedURL; }
    std::optional<AppcastItem> bestValidUpdateInAppcast(const Appcast& appcast, SoftwareUpdater&) override
    {
        itemsSeen = int(appcast.items.size());
        if (choose)
            return choose(appcast);
        if (appcast.items.isEmpty())
            return std::nullopt;
        return appcast.items.first();
    }
    void didAbortWithError(SoftwareUpdater&, const UpdateError& error) override
    {
        events << QStringLiteral("abort %1").arg(error.code);
        aborts << error;
    }
    void didFindValidUpdate(SoftwareUpdater&, const AppcastItem&) override { events << QStringLiteral("found"); }
    void updaterDidNotFindUpdate(SoftwareUpdater&) override { events << QStringLiteral("notFound"); }
    void updaterWillRelaunchApplication(SoftwareUpdater&) override { events << QStringLiteral("willRelaunch"); }
};

} // namespace UpdateTest
