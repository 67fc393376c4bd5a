// The filter extension and its proxy configuration: activation, supervision, wake, quit.
#include "control/AppDelegate.h"

#include "control/DisableMessage.h"
#include "control/GuiAppMonitor.h"
#include "control/IpcConnection.h"
#include "core/Device.h"
#include "core/Log.h"
#include "core/SessionData.h"
#include "platform/Bundle.h"
#include "platform/MainQueue.h"
#include "platform/SystemExtensionManager.h"
#include "platform/UserDefaults.h"

#include <unistd.h>

namespace {
const QString proxyDescription = QStringLiteral("Norvane Filtering Proxy");
const QString certificateCommand =
    QStringLiteral("launchctl setenv NODE_EXTRA_CA_CERTS \"/usr/local/share/nrvm/nrvmcert.pem\"");

// The network preferences answer on the main queue, possibly after the delegate has gone.
template <typename Block>
auto whileAlive(AppDelegate* delegate, Block block)
{
    return [self = QPointer<AppDelegate>(delegate), block = std::move(block)](auto&&... arguments) {
        if (self)
            block(std::forward<decltype(arguments)>(arguments)...);
    };
}
} // namespace

TransparentProxyManager::Pointer AppDelegate::proxyManager() const
{
    std::lock_guard lock(m_stateMutex);
    return m_proxyManager;
}

void AppDelegate::setProxyManager(TransparentProxyManager::Pointer manager)
{
    std::lock_guard lock(m_stateMutex);
    m_proxyManager = std::move(manager);
}

void AppDelegate::submit(std::shared_ptr<SystemExtensionRequest> request)
{
    {
        // Remembered so that a delegate that goes away first can stop the answers.
        std::lock_guard lock(m_stateMutex);
        if (m_stopping)
            return; // a supervision run that ends while the delegate goes away
        request->setDelegate(this);
        std::erase_if(m_submitted, [](const auto& submitted) { return submitted.expired(); });
        m_submitted.push_back(request);
    }
    SystemExtensionManager::shared().submitRequest(std::move(request));
}

void AppDelegate::activateExtensionIfLoggedIn()
{
    const QString token = UserDefaults::standard().string(SessionData::authTokenKey).value_or(QString());
    if (!token.isEmpty()) {
        submit(SystemExtensionRequest::activationRequest(QString::fromLatin1(extensionIdentifier)));
        return;
    }
    TransparentProxyManager::loadAllFromPreferences(
        whileAlive(this, [this](QList<TransparentProxyManager::Pointer> managers, std::optional<PlatformError> error) {
            onProxyManagersLoaded(managers, error, whileAlive(this, [this](bool loaded) { removeProxyConfiguration(loaded); }));
        }));
}

void AppDelegate::onProxyManagersLoaded(const QList<TransparentProxyManager::Pointer>& managers,
                                        const std::optional<PlatformError>& error,
                                        std::function<void(bool)> continuation)
{
    if (error) {
        log(QStringLiteral("Failed to load the filter configuration: ") + error->localizedDescription());
        continuation(false);
        return;
    }
    for (qsizetype i = 0; i + 1 < managers.size(); ++i) {
        managers.at(i)->removeFromPreferences([](const std::optional<PlatformError>& removeError) {
            if (removeError)
                log(QStringLiteral("Failed to remove the filter configuration: ") + removeError->localizedDescription());
        });
    }
    const auto manager = managers.isEmpty() ? TransparentProxyManager::create() : managers.last();
    setProxyManager(manager);
    manager->loadFromPreferences([continuation](const std::optional<PlatformError>& loadError) {
        if (loadError) {
            log(QStringLiteral("Failed to load the filter configuration: ") + loadError->localizedDescription());
            continuation(false);
            return;
        }
        continuation(true);
    });
}

void AppDelegate::removeProxyConfiguration(bool)
{
    if (const auto manager = proxyManager())
        manager->removeFromPreferences(whileAlive(this, [this](const std::optional<PlatformError>&) { stopTunnel(); }));
}

void AppDelegate::stopTunnel(std::function<void()> continuation)
{
    if (const auto manager = proxyManager()) {
        manager->connection().stopVPNTunnel();
        manager->setEnabled(false);
    }
    if (continuation)
        continuation();
}

void AppDelegate::configureProxy()
{
    resetCheckVpnRunningTask();
    scheduleCheckVpnRunning(m_timing.firstSupervision);
    TransparentProxyManager::loadAllFromPreferences(
        whileAlive(this, [this](QList<TransparentProxyManager::Pointer> managers, std::optional<PlatformError> error) {
            onProxyManagersLoaded(managers, error, whileAlive(this, [this](bool loaded) { saveProxyConfiguration(loaded); }));
        }));
}

void AppDelegate::saveProxyConfiguration(bool loaded)
{
    const auto manager = proxyManager();
    if (!loaded || !manager)
        return;
    TunnelProviderProtocol protocol;
    protocol.serverAddress = proxyDescription;
    manager->setProtocolConfiguration(protocol);
    manager->setOnDemandEnabled(true);
    manager->setOnDemandRules({OnDemandRule::connect()});
    manager->setEnabled(true);
    manager->setLocalizedDescription(proxyDescription);
    manager->saveToPreferences(
        whileAlive(this, [this](const std::optional<PlatformError>& error) { startTunnelAfterSave(error); }));
}

void AppDelegate::startTunnelAfterSave(const std::optional<PlatformError>& error)
{
    if (error) {
        log(QStringLiteral("Failed to save the filter configuration: ") + error->localizedDescription());
        return;
    }
    const auto manager = proxyManager();
    if (!manager)
        return;
    if (const auto startError = manager->connection().startVPNTunnel()) {
        log(QStringLiteral("Failed to start VPN: ") + startError->localizedDescription());
        return;
    }
    runConsoleCommand(certificateCommand, true);
}

void AppDelegate::resetCheckVpnRunningTask()
{
    auto task = std::make_shared<WorkItem>([self = QPointer<AppDelegate>(this), this] {
        if (self)
            checkVpnRunning();
    });
    {
        std::lock_guard lock(m_stateMutex);
        std::swap(m_checkVpnRunningTask, task);
    }
    // The previous item: cancelled, and let go after the lock.
    if (task)
        task->cancel();
}

// Lock order: m_stateMutex, then the queue's own lock (the queue calls nothing under it).
// Holding m_stateMutex across asyncAfter keeps the destructor from taking the queue away
// meanwhile.
void AppDelegate::scheduleCheckVpnRunning(std::chrono::milliseconds delay)
{
    std::lock_guard lock(m_stateMutex);
    if (m_stopping || !m_checkVpnRunningTask)
        return;
    if (!m_queue)
        m_queue = std::make_unique<SerialQueue>(QStringLiteral("AppDelegate queue"));
    m_queue->asyncAfter(delay, m_checkVpnRunningTask);
}

SerialQueue* AppDelegate::queue()
{
    std::lock_guard lock(m_stateMutex);
    if (m_stopping)
        return nullptr;
    if (!m_queue)
        m_queue = std::make_unique<SerialQueue>(QStringLiteral("AppDelegate queue"));
    return m_queue.get();
}

void AppDelegate::checkVpnRunning()
{
    ++m_supervisionRuns;
    resetCheckVpnRunningTask();
    const auto manager = proxyManager();
    if (!manager || !manager->isEnabled()) {
        activateExtensionIfLoggedIn();
        scheduleCheckVpnRunning(m_timing.supervisionInterval);
        return;
    }
    const VPNStatus status = manager->connection().status();
    if (status != VPNStatus::connected && status != VPNStatus::connecting)
        activateExtensionIfLoggedIn();
    scheduleCheckVpnRunning(m_timing.supervisionInterval);
    // With the link already open the completion runs at once, here on the queue.
    IpcConnection::shared().connectToProvider(getpid(), registeredCompletion());
}

void AppDelegate::onWakeNote()
{
    log(QStringLiteral("onWakeNote"));
    const auto manager = proxyManager();
    if (!manager) {
        configureProxy();
        return;
    }
    manager->connection().stopVPNTunnel();
    if (const auto error = manager->connection().startVPNTunnel())
        log(QStringLiteral("Failed to reconnect VPN: ") + error->localizedDescription());
}

void AppDelegate::quit()
{
    // Set before the hop: user data that arrives after this must not store the token again.
    m_pendingExit = true;
    // Message 5 arrives on a link thread; the teardown runs where the window lives.
    if (!MainQueue::isMainThread()) {
        MainQueue::async([self = QPointer<AppDelegate>(this)] {
            if (self)
                self->quit();
        });
        return;
    }
    UserDefaults::standard().setString(SessionData::authTokenKey, QString());
    DisableMessage disable;
    disable.bundlePath = Bundle::main().bundlePath();
    disable.guiProcessPid = static_cast<qint32>(getpid());
    IpcConnection::shared().sendMessage(disable);
    if (const auto manager = proxyManager()) {
        manager->removeFromPreferences(whileAlive(
            this, [this](const std::optional<PlatformError>&) { stopTunnel([this] { deactivateExtension(); }); }));
        return;
    }
    deactivateExtension();
}

void AppDelegate::deactivateExtension()
{
    runConsoleCommand(QStringLiteral("launchctl unsetenv NODE_EXTRA_CA_CERTS"), true);
    submit(SystemExtensionRequest::deactivationRequest(QString::fromLatin1(extensionIdentifier)));
}

void AppDelegate::endProcess()
{
    GuiAppMonitor::stopLaunchCtl();
    terminate(0);
}

void AppDelegate::requestDidFinishWithResult(const SystemExtensionRequest&, SystemExtensionRequest::Result)
{
    if (m_pendingExit) {
        endProcess();
        return;
    }
    configureProxy();
}

void AppDelegate::requestDidFailWithError(const SystemExtensionRequest&, const PlatformError& error)
{
    log(QStringLiteral("System extension request failed: ") + error.description());
    if (m_pendingExit)
        endProcess();
}

void AppDelegate::requestNeedsUserApproval(const SystemExtensionRequest& request)
{
    log(QStringLiteral("Extension ") + request.identifier() + QStringLiteral(" requires user approval"));
}

SystemExtensionRequest::ReplacementAction AppDelegate::actionForReplacingExtension(
    const SystemExtensionRequest& request, const SystemExtensionProperties& existing,
    const SystemExtensionProperties& replacement)
{
    if (existing.bundleShortVersion == replacement.bundleShortVersion)
        return SystemExtensionRequest::ReplacementAction::cancel;
    log(QStringLiteral("Replacing extension %1 version %2 with version %3")
            .arg(request.identifier(), existing.bundleShortVersion, replacement.bundleShortVersion));
    return SystemExtensionRequest::ReplacementAction::replace;
}
