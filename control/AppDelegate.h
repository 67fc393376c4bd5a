#pragma once

#include "control/IpcMessage.h"
#include "control/NvWinow.h"
#include "control/Updater.h"
#include "core/SessionObservableObject.h"
#include "platform/CallbackGate.h"
#include "platform/SerialQueue.h"
#include "platform/SystemExtensionRequestDelegate.h"
#include "platform/TransparentProxyManager.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

class LoadingModel;
class QMenu;
class QWidget;
class Reachability;
class StatusItem;

// Owns everything that lives for the whole run: the observable session state, the main
// window, the status item and its menu, the updater, the reachability monitor, the proxy
// configuration and its supervision. Start-up, the status menu and the link's handlers are
// in AppDelegate.cpp; activation, the proxy and the quit path in AppDelegateProxy.cpp.
class AppDelegate : public QObject, public SystemExtensionRequestDelegate
{
    Q_OBJECT
public:
    struct Timing
    {
        std::chrono::milliseconds firstSupervision{10000};
        std::chrono::milliseconds supervisionInterval{30000};
        std::chrono::milliseconds rebootCheckDelay{1000};
    };
    // Builds the window's content; the user interface registers it (control/ can't see ui/).
    using ContentFactory = std::function<QWidget*(SessionObservableObject*, LoadingModel*)>;

    explicit AppDelegate(QObject* parent = nullptr);
    AppDelegate(Timing timing, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The process-wide delegate, set at start-up; nullptr before.
    static AppDelegate* current();
    static void setContentFactory(ContentFactory factory);

    // The start-up sequence. Returns false when the process is to end at once (a second
    // instance); the exit code is then 0.
    bool applicationDidFinishLaunching();

    // Ends the process with the status once control is back in the event loop.
    void terminate(int status = 0);

    bool windowShouldClose();
    // Hides the whole application (minimises where there is no tray to bring it back).
    void hideApplication();

    // Status-menu actions.
    void showWindow();
    void showBlockHistory();
    void showRelaxedPolicyEnable();
    void showSyncSettigns();
    void quit();

    void onWakeNote();
    void activateExtensionIfLoggedIn();
    void buildStatusMenu();
    void setupWindow();

    SessionObservableObject* sessionModel() const { return m_sessionModel; }
    NvWinow* window() const { return m_window; }
    QMenu* statusMenu() const;
    Updater* updater() const { return m_updater; }
    bool autoenableRelaxedPolicy() const { return m_autoenableRelaxedPolicy; }
    void setAutoenableRelaxedPolicy(bool value) { m_autoenableRelaxedPolicy = value; }
    bool pendingExit() const { return m_pendingExit; }
    // Supervision runs so far (for tests and diagnostics).
    int supervisionRunCount() const { return m_supervisionRuns; }
    TransparentProxyManager::Pointer proxyManager() const;
    static constexpr const char* extensionIdentifier = "org.norvane.filter.mac.extension";
    static constexpr int maximumBlockedUrls = 50;

    // The handlers installed on the link once it registers.
    void onIpcRegistered(bool success);
    void addBlockedUrl(const QString& url, const QString& category, const QString& textTrigger);
    void handleUserDataSync(const std::shared_ptr<IpcMessage>& message);
    void applyUserData();

    // System-extension request answers (main thread).
    void requestDidFinishWithResult(const SystemExtensionRequest& request,
                                    SystemExtensionRequest::Result result) override;
    void requestDidFailWithError(const SystemExtensionRequest& request, const PlatformError& error) override;
    void requestNeedsUserApproval(const SystemExtensionRequest& request) override;
    SystemExtensionRequest::ReplacementAction actionForReplacingExtension(
        const SystemExtensionRequest& request, const SystemExtensionProperties& existing,
        const SystemExtensionProperties& replacement) override;

signals:
    // The process is to end with this status (the event loop's owner quits with it).
    void exitRequested(int status);

private:
    // Proxy configuration and supervision.
    void configureProxy();
    void checkVpnRunning();
    void resetCheckVpnRunningTask();
    void scheduleCheckVpnRunning(std::chrono::milliseconds delay);
    void onProxyManagersLoaded(const QList<TransparentProxyManager::Pointer>& managers,
                               const std::optional<PlatformError>& error, std::function<void(bool)> continuation);
    void removeProxyConfiguration(bool loaded = true);
    void saveProxyConfiguration(bool loaded);
    void startTunnelAfterSave(const std::optional<PlatformError>& error);
    void stopTunnel(std::function<void()> continuation = {});
    void deactivateExtension();
    void endProcess();
    void setProxyManager(TransparentProxyManager::Pointer manager);

    void scheduleRebootCheck();
    void updateRebootRequest();
    void startReachability();
    void requestUserDataSync();
    void handleInstallRootCertFailed(const std::shared_ptr<IpcMessage>& message);
    void installHandlers();
    void removeHandlers();
    std::function<void(bool)> registeredCompletion();
    void submit(std::shared_ptr<SystemExtensionRequest> request);

    Timing m_timing;
    // Link completions and handlers reach the delegate through this gate; the destructor
    // closes it before anything goes.
    CallbackGate m_linkGate;
    // proxyManager, the supervision work item and queue. Taken alone, and only around
    // reading or writing them: nothing is called while it is held.
    mutable std::mutex m_stateMutex;
    TransparentProxyManager::Pointer m_proxyManager;
    std::unique_ptr<SerialQueue> m_queue;
    std::shared_ptr<WorkItem> m_checkVpnRunningTask;
    bool m_stopping = false; // set while the delegate goes away: supervision no longer re-arms
    std::vector<std::weak_ptr<SystemExtensionRequest>> m_submitted;
    StatusItem* m_statusItem;
    Updater* m_updater;
    bool m_autoenableRelaxedPolicy = false;
    SessionObservableObject* m_sessionModel;
    std::atomic<bool> m_pendingExit{false};
    std::atomic<int> m_supervisionRuns{0};
    Reachability* m_reachability;
    QPointer<NvWinow> m_window;
};
