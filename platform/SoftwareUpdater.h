#pragma once

#include "platform/Appcast.h"
#include "platform/Bundle.h"
#include "platform/UpdateChoice.h"
#include "platform/UpdateError.h"
#include "platform/UpdateNetwork.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class SoftwareUpdaterDelegate;
class UserDriver;
class UpdateSettings;
class UpdateInstallation;
class FeedFetcher;
class QTimer;

// Checks a signed update feed for a newer version of the host bundle, and downloads,
// verifies, unpacks and installs it on request of the user driver.
//
// The host bundle is the one whose version is compared and which is replaced; the
// application bundle is the program that is relaunched afterwards (usually both are the
// main bundle). Archives must be signed with the Ed25519 key whose public half is
// SUPublicEDKey in the host bundle's Info.plist.
//
// Lives on the main thread; every delegate and user-driver call is made there. Delegate
// and user driver must outlive the updater.
class SoftwareUpdater : public QObject
{
    Q_OBJECT
public:
    // Starts the new program (detached) and ends this one; the default starts the
    // application bundle's executable and quits the event loop with status 0. Returns
    // false when the new program could not be started (this one then keeps running).
    using Relauncher = std::function<bool(const Bundle& applicationBundle)>;

    SoftwareUpdater(Bundle hostBundle, Bundle applicationBundle, UserDriver* userDriver,
                    SoftwareUpdaterDelegate* delegate, UpdateNetwork network, QObject* parent = nullptr);
    ~SoftwareUpdater() override;

    // Checks the set-up (host bundle with a version, a user driver, a decodable public key
    // when one is given); false with the reason when it is not usable. Checks made before
    // a successful start fail with InvalidUpdaterError.
    bool startUpdater(UpdateError* error = nullptr);

    // Automatic background checks, at the host bundle's SUScheduledCheckInterval (a day when
    // absent). Stored per host bundle.
    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool automaticallyChecks);

    // Interactive check: the user driver shows it from the start, reports "no update" and
    // errors, and offers skipped versions too.
    void checkForUpdates();
    // Quiet check: only an update (that was not skipped) is shown.
    void checkForUpdatesInBackground();
    bool sessionInProgress() const;

    // When the last check started; stored per host bundle.
    std::optional<QDateTime> lastUpdateCheckDate() const;

    // Time between automatic checks: SUScheduledCheckInterval of the host bundle (seconds,
    // at least an hour), a day when absent; tests may set any.
    std::chrono::seconds updateCheckInterval() const;
    void setUpdateCheckInterval(std::chrono::seconds interval);

    const Bundle& hostBundle() const { return m_hostBundle; }
    const Bundle& applicationBundle() const { return m_applicationBundle; }

    void setRelauncher(Relauncher relauncher) { m_relauncher = std::move(relauncher); }
    static bool defaultRelauncher(const Bundle& applicationBundle);

private:
    enum class CheckKind { userInitiated, background, scheduled };

    void startCheck(CheckKind kind);
    void feedArrived(const QByteArray& document);
    void feedFailed(const UpdateError& error);
    void offer(const AppcastItem& item);
    void fetchReleaseNotes(const AppcastItem& item);
    void userChose(UpdateChoice choice);
    void installationPrepared();
    void readyToInstallReplied(UpdateChoice choice);
    void installAndRelaunch(bool relaunch);
    void installOnQuit();
    void abort(const UpdateError& error, bool showToUser);
    void endSession(bool dismissUserInterface);
    void discardInstallation();
    void scheduleNextCheck();
    QString settingsScope() const;
    bool isCurrent(quint64 sessionId) const;

    // Replies and callbacks of a session do nothing once the session is over (or the
    // updater gone).
    template <typename Function>
    auto guarded(quint64 sessionId, Function function)
    {
        return [self = QPointer<SoftwareUpdater>(this), sessionId, function = std::move(function)](auto&&... arguments) {
            if (self && self->isCurrent(sessionId))
                function(std::forward<decltype(arguments)>(arguments)...);
        };
    }

    Bundle m_hostBundle;
    Bundle m_applicationBundle;
    UserDriver* m_userDriver;
    SoftwareUpdaterDelegate* m_delegate;
    UpdateNetwork m_network;
    std::unique_ptr<UpdateSettings> m_settings;
    Relauncher m_relauncher = &SoftwareUpdater::defaultRelauncher;
    bool m_started = false;
    std::optional<std::chrono::seconds> m_checkInterval;
    quint64 m_lastSessionId = 0;
    QMetaObject::Connection m_installOnQuit;

    // The running session, if any.
    struct Session;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<FeedFetcher> m_feedFetcher;
    std::unique_ptr<FeedFetcher> m_releaseNotesFetcher;
    std::unique_ptr<UpdateInstallation> m_installation;
    QTimer* m_scheduleTimer;
};
