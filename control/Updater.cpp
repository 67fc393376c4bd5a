#include "control/Updater.h"

#include "control/IpcConnection.h"
#include "control/UpdateMessage.h"
#include "core/ApiClient.h"
#include "core/HttpSession.h"
#include "core/Log.h"
#include "core/SessionData.h"
#include "platform/DateFormatter.h"
#include "platform/Deployment.h"
#include "platform/StandardUserDriver.h"

#include <QCoreApplication>
#include <QProcess>

namespace {

using UpdateStatus = SessionObservableObject::UpdateStatus;

std::unique_ptr<UserDriver> makeUserDriver(const Updater::Options& options)
{
    if (options.makeUserDriver)
        return options.makeUserDriver();
    return std::make_unique<StandardUserDriver>(Bundle::main());
}

// Starts the new version once this process has ended: until then this process holds the
// single-instance lock, and the new one would take itself for a second copy and quit. The
// new process gets none of this one's standard streams, which close when this one ends.
bool relaunchWhenEnded(const Bundle& applicationBundle)
{
    QProcess process;
    process.setProgram(QStringLiteral("/bin/sh"));
    process.setArguments({QStringLiteral("-c"),
                          QStringLiteral("i=0; while kill -0 \"$1\" 2>/dev/null && [ $i -lt 600 ]; do sleep 0.05; "
                                         "i=$((i+1)); done; exec \"$0\""),
                          applicationBundle.executablePath(), QString::number(QCoreApplication::applicationPid())});
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached())
        return false;
    QCoreApplication::exit(0);
    return true;
}

} // namespace

Updater::Updater(QObject* parent) : Updater(Options(), parent) {}

Updater::Updater(Options options, QObject* parent)
    : QObject(parent), MIN_UPDATER_INTERVAL_SEC(3600), uiDriver(makeUserDriver(options)),
      m_options(std::move(options))
{
    setup();
}

Updater::~Updater()
{
    // The updaters call back into this object: they go first.
    spUpdaterExtension.reset();
    spUpdaterMain.reset();
}

void Updater::setSessionModel(SessionObservableObject* sessionModel)
{
    m_sessionModel = sessionModel;
}

void Updater::setup()
{
    spUpdaterMain = makeUpdater(Bundle::main());
    spUpdaterMain->setAutomaticallyChecksForUpdates(false);
    spUpdaterMain->startUpdater(nullptr);

    const IpcConnection::BundleLookup& extension = IpcConnection::shared().extensionBundle();
    spUpdaterExtension = makeUpdater(extension.bundle.value_or(Bundle()));
    spUpdaterExtension->setAutomaticallyChecksForUpdates(false);
    spUpdaterExtension->startUpdater(nullptr);

    uiDriver->dismissUpdateInstallation();
}

void Updater::checkForUpdatesIfNeeded()
{
    if (const auto lastCheck = spUpdaterMain ? spUpdaterMain->lastUpdateCheckDate() : std::nullopt) {
        const qint64 elapsed = lastCheck->msecsTo(now());
        // A last check dated in the future (the clock was set back) does not hold checks off.
        if (elapsed >= 0 && elapsed < static_cast<qint64>(MIN_UPDATER_INTERVAL_SEC * 1000))
            return;
    }
    setup();
    spUpdaterMain->checkForUpdatesInBackground();
}

void Updater::checkForUpdates()
{
    setup();
    spUpdaterMain->checkForUpdates();
}

void Updater::refreshLastUpdateTime()
{
    const auto lastCheck = spUpdaterMain ? spUpdaterMain->lastUpdateCheckDate() : std::nullopt;
    if (m_sessionModel)
        m_sessionModel->setLastUpdateTimeString(DateFormatter::shortStyle(lastCheck.value_or(now()).toLocalTime()));
}

QString Updater::feedURLStringForUpdater(SoftwareUpdater&)
{
    const QMap<QString, QString>& device = ApiClient::deviceParameters();
    return QStringLiteral("https://") + Deployment::serverHost() + QStringLiteral("/Velmora/") +
           QStringLiteral("update/macos/update.xml?acid=") + device.value(QStringLiteral("identifier")) +
           QStringLiteral("&v=") + device.value(QStringLiteral("app_version")) + QStringLiteral("&os=") +
           device.value(QStringLiteral("os_version"));
}

QString Updater::wantedChannel()
{
    return SessionData::shared()->userConfig().UpdateChannel.value_or(QStringLiteral("Stable"));
}

std::optional<AppcastItem> Updater::bestValidUpdateInAppcast(const Appcast& appcast, SoftwareUpdater&)
{
    const QString wanted = wantedChannel();
    for (const AppcastItem& item : appcast.items) {
        const QVariant enclosure = item.propertiesDictionary().value(QStringLiteral("enclosure"));
        if (enclosure.typeId() != QMetaType::QVariantMap)
            continue;
        const QVariant channel = enclosure.toMap().value(QStringLiteral("channel"));
        if (channel.typeId() == QMetaType::QString && channel.toString() == wanted)
            return item;
    }
    setUpdateStatus(UpdateStatus::noUpdate);
    return std::nullopt;
}

void Updater::didAbortWithError(SoftwareUpdater&, const UpdateError& error)
{
    if (error.code == UpdateError::NoUpdateError) {
        setUpdateStatus(UpdateStatus::noUpdate);
        return;
    }
    setUpdateStatus(UpdateStatus::error);
    log(QStringLiteral("Update with error: ") + error.description);
}

void Updater::didFindValidUpdate(SoftwareUpdater&, const AppcastItem&)
{
    setUpdateStatus(UpdateStatus::hasUpdate);
}

void Updater::updaterDidNotFindUpdate(SoftwareUpdater&)
{
    setUpdateStatus(UpdateStatus::noUpdate);
}

void Updater::updaterWillRelaunchApplication(SoftwareUpdater&)
{
    IpcConnection::shared().sendMessage(UpdateMessage());
    SessionData::shared()->setLastUpdateTime(now());
}

void Updater::showUpdatePermissionRequest(std::function<void(bool)> reply)
{
    uiDriver->showUpdatePermissionRequest(std::move(reply));
}

void Updater::showUserInitiatedUpdateCheckWithCancellation(std::function<void()>)
{
    setUpdateStatus(UpdateStatus::inProgress);
}

void Updater::showUpdateFoundWithAppcastItem(const AppcastItem& item, UpdateItemState state,
                                             std::function<void(UpdateChoice)> reply)
{
    setUpdateStatus(UpdateStatus::hasUpdate);
    uiDriver->showUpdateFoundWithAppcastItem(item, state, std::move(reply));
    refreshLastUpdateTime();
}

void Updater::showUpdateReleaseNotesWithDownloadData(const QByteArray&) {}

void Updater::showUpdateReleaseNotesFailedToDownloadWithError(const UpdateError&) {}

void Updater::showUpdateNotFoundWithError(const UpdateError&, std::function<void()> acknowledgement)
{
    // Nothing is shown (the page says "Up to date"), but the check is let to end, so the
    // updater does not hold a session open waiting for a window that never comes.
    if (acknowledgement)
        acknowledgement();
}

void Updater::showUpdaterError(const UpdateError& error, std::function<void()> acknowledgement)
{
    uiDriver->showUpdaterError(error, std::move(acknowledgement));
    uiDriver->dismissUpdateInstallation();
}

void Updater::showDownloadInitiatedWithCancellation(std::function<void()> cancellation)
{
    uiDriver->showDownloadInitiatedWithCancellation(std::move(cancellation));
}

void Updater::showDownloadDidReceiveExpectedContentLength(quint64 expectedContentLength)
{
    uiDriver->showDownloadDidReceiveExpectedContentLength(expectedContentLength);
}

void Updater::showDownloadDidReceiveDataOfLength(quint64 length)
{
    uiDriver->showDownloadDidReceiveDataOfLength(length);
}

void Updater::showDownloadDidStartExtractingUpdate()
{
    uiDriver->showDownloadDidStartExtractingUpdate();
}

void Updater::showExtractionReceivedProgress(double progress)
{
    uiDriver->showExtractionReceivedProgress(progress);
}

void Updater::showReadyToInstallAndRelaunch(std::function<void(UpdateChoice)> reply)
{
    uiDriver->showReadyToInstallAndRelaunch(std::move(reply));
}

void Updater::showInstallingUpdateWithApplicationTerminated(bool applicationTerminated,
                                                            std::function<void()> retryTerminatingApplication)
{
    uiDriver->showInstallingUpdateWithApplicationTerminated(applicationTerminated,
                                                            std::move(retryTerminatingApplication));
}

void Updater::showUpdateInstalledAndRelaunched(bool relaunched, std::function<void()> acknowledgement)
{
    uiDriver->showUpdateInstalledAndRelaunched(relaunched, std::move(acknowledgement));
}

void Updater::showUpdateInFocus()
{
    uiDriver->showUpdateInFocus();
}

void Updater::dismissUpdateInstallation()
{
    setUpdateStatus(UpdateStatus::noUpdate);
}

std::unique_ptr<SoftwareUpdater> Updater::makeUpdater(const Bundle& hostBundle)
{
    auto updater = std::make_unique<SoftwareUpdater>(hostBundle, Bundle::main(), this, this, UpdateNetwork([] {
        HttpSession& session = ApiClient::session();
        return UpdateNetwork::Access{session.networkAccessManager(), session.extraRootCertificates()};
    }));
    updater->setRelauncher(m_options.relauncher ? m_options.relauncher : &relaunchWhenEnded);
    return updater;
}

void Updater::setUpdateStatus(UpdateStatus status)
{
    if (m_sessionModel)
        m_sessionModel->setUpdateStatus(status);
}

QDateTime Updater::now() const
{
    return m_options.now ? m_options.now() : QDateTime::currentDateTime();
}
