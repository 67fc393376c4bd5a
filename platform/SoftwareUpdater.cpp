#include "platform/SoftwareUpdater.h"

#include "platform/AppcastParser.h"
#include "platform/Diagnostics.h"
#include "platform/Ed25519Verifier.h"
#include "platform/FeedFetcher.h"
#include "platform/Paths.h"
#include "platform/SoftwareUpdaterDelegate.h"
#include "platform/UpdateInstallation.h"
#include "platform/UpdateSettings.h"
#include "platform/UpdateVersion.h"
#include "platform/UserDefaults.h"
#include "platform/UserDriver.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTimer>
#include <QUuid>

#include <algorithm>

namespace {

constexpr qint64 maximumReleaseNotesSize = 4 * 1024 * 1024;
constexpr qint64 defaultCheckIntervalSeconds = 24 * 60 * 60;
constexpr qint64 shortestCheckIntervalSeconds = 60 * 60;

} // namespace

struct SoftwareUpdater::Session
{
    quint64 id = 0;
    CheckKind kind = CheckKind::background;
    bool showedUserInterface = false;
    std::optional<AppcastItem> item;
};

SoftwareUpdater::SoftwareUpdater(Bundle hostBundle, Bundle applicationBundle, UserDriver* userDriver,
                                 SoftwareUpdaterDelegate* delegate, UpdateNetwork network, QObject* parent)
    : QObject(parent),
      m_hostBundle(std::move(hostBundle)),
      m_applicationBundle(std::move(applicationBundle)),
      m_userDriver(userDriver),
      m_delegate(delegate),
      m_network(std::move(network)),
      m_settings(std::make_unique<UpdateSettings>(UserDefaults::standard(), settingsScope())),
      m_feedFetcher(std::make_unique<FeedFetcher>(m_network, AppcastParser::maximumFeedSize, UpdateError::AppcastError)),
      m_releaseNotesFetcher(
          std::make_unique<FeedFetcher>(m_network, maximumReleaseNotesSize, UpdateError::ReleaseNotesError)),
      m_scheduleTimer(new QTimer(this))
{
    m_scheduleTimer->setSingleShot(true);
    connect(m_scheduleTimer, &QTimer::timeout, this, [this] { startCheck(CheckKind::scheduled); });
}

SoftwareUpdater::~SoftwareUpdater() = default;

// The application bundle's updater keeps the plain keys; another host bundle gets its own.
QString SoftwareUpdater::settingsScope() const
{
    const QString host = m_hostBundle.bundleIdentifier();
    return host == m_applicationBundle.bundleIdentifier() ? QString() : host;
}

bool SoftwareUpdater::startUpdater(UpdateError* error)
{
    const auto fail = [error](int code, const QString& text) {
        if (error)
            *error = UpdateError(code, text);
        return false;
    };
    if (!m_hostBundle.isValid() || m_hostBundle.infoDictionary().isEmpty())
        return fail(UpdateError::InvalidHostBundleError,
                    QStringLiteral("The bundle at %1 cannot be updated: it has no readable Info.plist.")
                        .arg(m_hostBundle.bundlePath()));
    if (m_hostBundle.string(QStringLiteral("CFBundleVersion")).value_or(QString()).isEmpty())
        return fail(UpdateError::InvalidHostBundleError,
                    QStringLiteral("The bundle at %1 has no CFBundleVersion.").arg(m_hostBundle.bundlePath()));
    if (!m_userDriver)
        return fail(UpdateError::InvalidUserDriverError, QStringLiteral("The updater has no user driver."));
    if (!m_delegate)
        return fail(UpdateError::InvalidUpdaterError, QStringLiteral("The updater has no delegate."));
    if (const auto key = m_hostBundle.string(QStringLiteral("SUPublicEDKey"));
        key && !Ed25519Verifier::decodePublicKey(*key))
        return fail(UpdateError::NoPublicKeyError,
                    QStringLiteral("SUPublicEDKey in the Info.plist of %1 is not a valid Ed25519 public key.")
                        .arg(m_hostBundle.bundlePath()));
    if (m_started)
        return true;
    m_started = true;

    if (!m_settings->automaticallyChecks() &&
        !m_hostBundle.infoDictionary().contains(QStringLiteral("SUEnableAutomaticChecks"))) {
        QPointer<SoftwareUpdater> self(this);
        m_userDriver->showUpdatePermissionRequest([self](bool automaticChecks) {
            if (self)
                self->setAutomaticallyChecksForUpdates(automaticChecks);
        });
    }
    scheduleNextCheck();
    return true;
}

bool SoftwareUpdater::automaticallyChecksForUpdates() const
{
    if (const std::optional<bool> stored = m_settings->automaticallyChecks())
        return *stored;
    return m_hostBundle.infoDictionary().value(QStringLiteral("SUEnableAutomaticChecks")).toBool();
}

void SoftwareUpdater::setAutomaticallyChecksForUpdates(bool automaticallyChecks)
{
    m_settings->setAutomaticallyChecks(automaticallyChecks);
    scheduleNextCheck();
}

void SoftwareUpdater::checkForUpdates()
{
    startCheck(CheckKind::userInitiated);
}

void SoftwareUpdater::checkForUpdatesInBackground()
{
    startCheck(CheckKind::background);
}

bool SoftwareUpdater::sessionInProgress() const
{
    return m_session != nullptr;
}

std::optional<QDateTime> SoftwareUpdater::lastUpdateCheckDate() const
{
    return m_settings->lastCheckTime();
}

std::chrono::seconds SoftwareUpdater::updateCheckInterval() const
{
    if (m_checkInterval)
        return *m_checkInterval;
    const QVariant configured = m_hostBundle.infoDictionary().value(QStringLiteral("SUScheduledCheckInterval"));
    qint64 seconds = configured.isValid() ? configured.toLongLong() : defaultCheckIntervalSeconds;
    if (seconds <= 0)
        seconds = defaultCheckIntervalSeconds;
    return std::chrono::seconds(std::max(seconds, shortestCheckIntervalSeconds));
}

void SoftwareUpdater::setUpdateCheckInterval(std::chrono::seconds interval)
{
    m_checkInterval = interval;
    scheduleNextCheck();
}

void SoftwareUpdater::scheduleNextCheck()
{
    m_scheduleTimer->stop();
    if (!m_started || !automaticallyChecksForUpdates())
        return;
    const qint64 interval = qint64(updateCheckInterval().count()) * 1000;
    qint64 delay = 0;
    if (const auto last = lastUpdateCheckDate()) {
        const qint64 elapsed = last->msecsTo(QDateTime::currentDateTimeUtc());
        delay = elapsed < 0 ? interval : std::clamp(interval - elapsed, qint64(0), interval);
    }
    m_scheduleTimer->start(std::chrono::milliseconds(delay));
}

void SoftwareUpdater::startCheck(CheckKind kind)
{
    const bool userInitiated = kind == CheckKind::userInitiated;
    if (!m_started) {
        const UpdateError error(UpdateError::InvalidUpdaterError,
                                QStringLiteral("The updater was not started, so it cannot check for updates."));
        if (m_delegate)
            m_delegate->didAbortWithError(*this, error);
        if (userInitiated && m_userDriver)
            m_userDriver->showUpdaterError(error, [] {});
        return;
    }
    if (m_session) {
        if (userInitiated && m_session->showedUserInterface)
            m_userDriver->showUpdateInFocus();
        return;
    }
    m_session = std::make_unique<Session>();
    m_session->id = ++m_lastSessionId;
    m_session->kind = kind;
    const quint64 id = m_session->id;

    // An update downloaded earlier and left for the quit is offered again on request.
    if (m_installation && m_installation->isPrepared()) {
        if (!userInitiated) {
            m_session.reset();
            scheduleNextCheck();
            return;
        }
        m_session->item = m_installation->item();
        m_session->showedUserInterface = true;
        installationPrepared();
        return;
    }

    if (userInitiated) {
        m_session->showedUserInterface = true;
        m_userDriver->showUserInitiatedUpdateCheckWithCancellation(guarded(id, [this] {
            m_feedFetcher->cancel();
            endSession(true);
        }));
        if (!isCurrent(id))
            return;
    }

    m_settings->setLastCheckTime(QDateTime::currentDateTimeUtc());
    QString feed = m_delegate->feedURLStringForUpdater(*this);
    if (!isCurrent(id))
        return;
    if (feed.isEmpty())
        feed = m_hostBundle.string(QStringLiteral("SUFeedURL")).value_or(QString());
    const QUrl url(feed, QUrl::StrictMode);
    if (feed.isEmpty() || !url.isValid()) {
        abort(UpdateError(UpdateError::InvalidFeedURLError,
                          QStringLiteral("The update feed’s address “%1” is not valid.").arg(feed)),
              userInitiated);
        return;
    }
    m_feedFetcher->fetch(url, [this, id](std::optional<QByteArray> body, const UpdateError& error) {
        if (!isCurrent(id))
            return;
        if (body)
            feedArrived(*body);
        else
            abort(error, m_session->kind == CheckKind::userInitiated);
    });
}

void SoftwareUpdater::feedArrived(const QByteArray& document)
{
    const quint64 id = m_session->id;
    const bool userInitiated = m_session->kind == CheckKind::userInitiated;
    QString problem;
    const std::optional<Appcast> appcast = AppcastParser::parse(document, &problem);
    if (!appcast) {
        Diagnostics::report(QStringLiteral("SoftwareUpdater: %1").arg(problem));
        abort(UpdateError(UpdateError::AppcastParseError,
                          QStringLiteral("The update feed could not be read. %1").arg(problem)),
              userInitiated);
        return;
    }

    const std::optional<AppcastItem> best = m_delegate->bestValidUpdateInAppcast(*appcast, *this);
    if (!isCurrent(id))
        return;
    const QString installed = m_hostBundle.string(QStringLiteral("CFBundleVersion")).value_or(QString());
    const bool newer = best && !best->versionString.isEmpty() && UpdateVersion::isNewer(best->versionString, installed);
    const bool skipped = newer && !userInitiated && best->versionString == m_settings->skippedVersion();
    if (newer && !skipped) {
        if (!best->hasEnclosure()) {
            abort(UpdateError(UpdateError::AppcastError,
                              QStringLiteral("Version %1 is announced, but the update feed gives no download for it.")
                                  .arg(best->displayVersionString)),
                  userInitiated);
            return;
        }
        offer(*best);
        return;
    }

    const QString shown = m_hostBundle.string(QStringLiteral("CFBundleShortVersionString")).value_or(installed);
    const UpdateError noUpdate = UpdateError::noUpdate(shown);
    m_delegate->updaterDidNotFindUpdate(*this);
    if (!isCurrent(id))
        return;
    if (userInitiated) {
        m_userDriver->showUpdateNotFoundWithError(noUpdate, guarded(id, [this] { endSession(true); }));
        if (!isCurrent(id))
            return;
    }
    m_delegate->didAbortWithError(*this, noUpdate);
    if (isCurrent(id) && !userInitiated)
        endSession(false);
}

void SoftwareUpdater::offer(const AppcastItem& item)
{
    const quint64 id = m_session->id;
    m_session->item = item;
    m_session->showedUserInterface = true;
    m_delegate->didFindValidUpdate(*this, item);
    if (!isCurrent(id))
        return;
    UpdateItemState state;
    state.stage = UpdateItemState::Stage::notDownloaded;
    state.userInitiated = m_session->kind == CheckKind::userInitiated;
    m_userDriver->showUpdateFoundWithAppcastItem(item, state, guarded(id, [this](UpdateChoice choice) {
        userChose(choice);
    }));
    if (isCurrent(id) && item.itemDescription.trimmed().isEmpty() && item.releaseNotesURL.isValid() &&
        !item.releaseNotesURL.isEmpty())
        fetchReleaseNotes(item);
}

void SoftwareUpdater::fetchReleaseNotes(const AppcastItem& item)
{
    const quint64 id = m_session->id;
    m_releaseNotesFetcher->fetch(item.releaseNotesURL, [this, id](std::optional<QByteArray> body,
                                                                  const UpdateError& error) {
        if (!isCurrent(id))
            return;
        if (body)
            m_userDriver->showUpdateReleaseNotesWithDownloadData(*body);
        else
            m_userDriver->showUpdateReleaseNotesFailedToDownloadWithError(error);
    });
}

void SoftwareUpdater::userChose(UpdateChoice choice)
{
    m_releaseNotesFetcher->cancel();
    const AppcastItem item = *m_session->item;
    switch (choice) {
    case UpdateChoice::skip:
        m_settings->setSkippedVersion(item.versionString);
        endSession(true);
        return;
    case UpdateChoice::dismiss:
        endSession(true);
        return;
    case UpdateChoice::install:
        break;
    }

    const quint64 id = m_session->id;
    const QString work = Paths::cacheDirectory() + QStringLiteral("/Updates/") +
                         QUuid::createUuid().toString(QUuid::WithoutBraces);
    discardInstallation();
    m_installation = std::make_unique<UpdateInstallation>(m_network, m_hostBundle, item, work);
    m_userDriver->showDownloadInitiatedWithCancellation(guarded(id, [this] {
        discardInstallation();
        endSession(true);
    }));
    if (!isCurrent(id) || !m_installation)
        return;

    UpdateInstallation::Callbacks callbacks;
    callbacks.expectedLength = guarded(id, [this](quint64 length) {
        m_userDriver->showDownloadDidReceiveExpectedContentLength(length);
    });
    callbacks.received = guarded(id, [this](quint64 length) { m_userDriver->showDownloadDidReceiveDataOfLength(length); });
    callbacks.extractionStarted = guarded(id, [this] { m_userDriver->showDownloadDidStartExtractingUpdate(); });
    callbacks.extractionProgress = guarded(id, [this](double progress) {
        m_userDriver->showExtractionReceivedProgress(progress);
    });
    callbacks.prepared = guarded(id, [this](const UpdateError& error) {
        if (error.code != 0) {
            Diagnostics::report(QStringLiteral("SoftwareUpdater: update refused: %1").arg(error.description));
            discardInstallation();
            abort(error, true);
            return;
        }
        installationPrepared();
    });
    m_installation->prepare(std::move(callbacks));
}

void SoftwareUpdater::installationPrepared()
{
    const quint64 id = m_session->id;
    m_userDriver->showReadyToInstallAndRelaunch(guarded(id, [this](UpdateChoice choice) {
        readyToInstallReplied(choice);
    }));
}

void SoftwareUpdater::readyToInstallReplied(UpdateChoice choice)
{
    switch (choice) {
    case UpdateChoice::install:
        installAndRelaunch(true);
        return;
    case UpdateChoice::dismiss:
        // Installed when the program quits; until then a check offers it again.
        if (!m_installOnQuit)
            m_installOnQuit = connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
                                      [this] { installOnQuit(); });
        endSession(true);
        return;
    case UpdateChoice::skip:
        m_settings->setSkippedVersion(m_session->item->versionString);
        discardInstallation();
        endSession(true);
        return;
    }
}

void SoftwareUpdater::installOnQuit()
{
    disconnect(m_installOnQuit);
    m_installOnQuit = {};
    if (!m_installation || !m_installation->isPrepared() || m_session)
        return;
    const UpdateError error = m_installation->install();
    if (error.code != 0) {
        Diagnostics::report(QStringLiteral("SoftwareUpdater: installation at quit failed: %1").arg(error.description));
        m_delegate->didAbortWithError(*this, error);
    }
    discardInstallation();
}

void SoftwareUpdater::installAndRelaunch(bool relaunch)
{
    const quint64 id = m_session->id;
    disconnect(m_installOnQuit);
    m_installOnQuit = {};
    m_userDriver->showInstallingUpdateWithApplicationTerminated(false, [] {});
    if (!isCurrent(id))
        return;
    const UpdateError error = m_installation->install();
    discardInstallation();
    if (error.code != 0) {
        Diagnostics::report(QStringLiteral("SoftwareUpdater: installation failed: %1").arg(error.description));
        abort(error, true);
        return;
    }
    if (!relaunch) {
        endSession(false);
        return;
    }
    m_delegate->updaterWillRelaunchApplication(*this);
    if (!isCurrent(id))
        return;
    const Bundle updated(m_applicationBundle.bundlePath());
    if (m_relauncher(updated))
        return;
    Diagnostics::report(QStringLiteral("SoftwareUpdater: the new version is installed but could not be started"));
    m_userDriver->showUpdateInstalledAndRelaunched(false, guarded(id, [this] { endSession(true); }));
}

bool SoftwareUpdater::defaultRelauncher(const Bundle& applicationBundle)
{
    if (!QProcess::startDetached(applicationBundle.executablePath(), {}))
        return false;
    QCoreApplication::exit(0);
    return true;
}

void SoftwareUpdater::abort(const UpdateError& error, bool showToUser)
{
    const quint64 id = m_session->id;
    m_delegate->didAbortWithError(*this, error);
    if (!isCurrent(id))
        return;
    if (showToUser) {
        m_userDriver->showUpdaterError(error, guarded(id, [this] { endSession(true); }));
        return;
    }
    endSession(m_session->showedUserInterface);
}

void SoftwareUpdater::endSession(bool dismissUserInterface)
{
    m_feedFetcher->cancel();
    m_releaseNotesFetcher->cancel();
    m_session.reset();
    if (m_installation && !m_installation->isPrepared())
        discardInstallation();
    if (dismissUserInterface)
        m_userDriver->dismissUpdateInstallation();
    scheduleNextCheck();
}

// Deleted from the event loop: this may be running inside one of its callbacks.
void SoftwareUpdater::discardInstallation()
{
    if (UpdateInstallation* installation = m_installation.release()) {
        installation->cancel();
        installation->deleteLater();
    }
}

bool SoftwareUpdater::isCurrent(quint64 sessionId) const
{
    return m_session && m_session->id == sessionId;
}
