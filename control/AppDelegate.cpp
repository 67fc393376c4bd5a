#include "control/AppDelegate.h"

#include "control/CertificateHelper.h"
#include "control/DisableMessage.h"
#include "control/GuiAppMonitor.h"
#include "control/InstallRootCertFailedMessage.h"
#include "control/InstallRootCertFinished.h"
#include "control/IpcConnection.h"
#include "control/NvWinow.h"
#include "control/UrlBlockedMessage.h"
#include "control/UserDataSyncMessage.h"
#include "core/LoadingModel.h"
#include "core/Log.h"
#include "core/NetworkActivityLogger.h"
#include "core/SessionData.h"
#include "platform/Bundle.h"
#include "platform/CrashReporter.h"
#include "platform/Deployment.h"
#include "platform/MainQueue.h"
#include "platform/Reachability.h"
#include "platform/StatusItem.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"

#include <QMenu>
#include <QVBoxLayout>

#include <unistd.h>

namespace {

std::atomic<AppDelegate*> currentDelegate{nullptr};
// The delegate whose handlers stand in the link's table; it takes them out when it goes.
std::atomic<AppDelegate*> handlersOwner{nullptr};
constexpr IpcMessageId delegateHandlerIds[] = {IpcMessageId::urlBlocked, IpcMessageId::sync, IpcMessageId::userDataSync,
                                               IpcMessageId::disable, IpcMessageId::installRootCertFailed};
std::mutex factoryMutex;
AppDelegate::ContentFactory& contentFactory()
{
    static AppDelegate::ContentFactory factory;
    return factory;
}

bool isSignedIn()
{
    return !UserDefaults::standard().string(SessionData::authTokenKey).value_or(QString()).isEmpty();
}

} // namespace

AppDelegate::AppDelegate(QObject* parent) : AppDelegate(Timing(), parent) {}

AppDelegate::AppDelegate(Timing timing, QObject* parent)
    : QObject(parent), m_timing(timing), m_statusItem(new StatusItem(this)), m_updater(new Updater(this)),
      m_sessionModel(new SessionObservableObject(this)), m_reachability(new Reachability(Reachability::defaultBackends(), this))
{
    m_statusItem->menu()->setTitle(QStringLiteral("NV StatusBar Menu"));
    connect(m_statusItem, &StatusItem::modeChanged, this, &AppDelegate::followStatusItemMode);
    m_updater->setSessionModel(m_sessionModel);
}

AppDelegate::~AppDelegate()
{
    AppDelegate* self = this;
    currentDelegate.compare_exchange_strong(self, nullptr);
    // A supervision run may still be under way and re-arm itself: stop re-arming first, then
    // wait for the run outside the lock it takes.
    std::unique_ptr<SerialQueue> queue;
    std::shared_ptr<WorkItem> task;
    {
        std::lock_guard lock(m_stateMutex);
        m_stopping = true;
        queue = std::move(m_queue);
        task = std::move(m_checkVpnRunningTask);
        for (const auto& submitted : m_submitted) {
            if (const auto request = submitted.lock())
                request->setDelegate(nullptr);
        }
    }
    if (task)
        task->cancel();
    queue.reset();
    // Link answers and deliveries stop reaching this object: those under way finish first,
    // later ones find the gate closed and the handlers gone.
    m_linkGate.close();
    removeHandlers();
    delete m_window;
}

AppDelegate* AppDelegate::current()
{
    return currentDelegate.load();
}

void AppDelegate::setContentFactory(ContentFactory factory)
{
    std::lock_guard lock(factoryMutex);
    contentFactory() = std::move(factory);
}

QMenu* AppDelegate::statusMenu() const
{
    return m_statusItem->menu();
}

void AppDelegate::terminate(int status)
{
    emit exitRequested(status);
}

bool AppDelegate::applicationDidFinishLaunching()
{
    if (Workspace::shared().isAlreadyRunning(Bundle::main().bundleIdentifier())) {
        log(QStringLiteral("Gui app is already running"));
        return false;
    }
    m_pendingExit = false;
    CrashReporter::start(Deployment::sentryDsn());
    log(QStringLiteral("Sentry started"));
    currentDelegate = this;
    setupWindow();
    buildStatusMenu();
    activateExtensionIfLoggedIn();
    scheduleRebootCheck();
    connect(&Workspace::shared(), &Workspace::didWake, this, &AppDelegate::onWakeNote, Qt::UniqueConnection);
    Workspace::shared().startWakeNotifications();
    NetworkActivityLogger::shared().startLogging();
    Log::shared().setName(QStringLiteral("gui"));
    m_updater->refreshLastUpdateTime();
    GuiAppMonitor::setupLaunchCtl();
    startReachability();
    IpcConnection::shared().connectToProvider(getpid(), registeredCompletion());
    return true;
}

void AppDelegate::setupWindow()
{
    m_window = new NvWinow;
    m_window->resize(1000, 700);
    m_window->center();
    m_window->setFrameAutosaveName(QStringLiteral("Norvane For Mac"));
    m_sessionModel->refreshFromSessionData();

    auto* loadingModel = new LoadingModel(m_window);
    ContentFactory factory;
    {
        std::lock_guard lock(factoryMutex);
        factory = contentFactory();
    }
    auto* layout = new QVBoxLayout(m_window);
    layout->setContentsMargins(0, 0, 0, 0);
    if (factory)
        layout->addWidget(factory(m_sessionModel, loadingModel));
    m_window->shouldClose = [this] { return windowShouldClose(); };
    connect(&Workspace::shared(), &Workspace::reopenRequested, this, &AppDelegate::showWindow, Qt::UniqueConnection);

    // Without a tray nothing could bring a hidden window back, so it is shown at start and
    // offers the status menu itself.
    const bool noTray = m_statusItem->mode() == StatusItem::Mode::window;
    m_window->setFallbackMenu(noTray ? m_statusItem->menu() : nullptr);
    m_windowShownForNoTray = noTray && isSignedIn();
    if (!isSignedIn() || noTray)
        Workspace::orderFrontRegardless(m_window);
}

void AppDelegate::followStatusItemMode()
{
    if (!m_window)
        return;
    const bool tray = m_statusItem->mode() == StatusItem::Mode::statusBar;
    m_window->setFallbackMenu(tray ? nullptr : m_statusItem->menu());
    if (tray) {
        // The tray brings the window back from now on. Signed in, the window is hidden as
        // it would have been with a tray from the start, unless the user opened it.
        if (isSignedIn() && (m_window->isMinimized() || m_windowShownForNoTray))
            m_window->hide();
    } else if (!m_window->isVisible()) {
        // Nothing could show a hidden window any more; minimised it stays within reach.
        m_window->showMinimized();
    }
    m_windowShownForNoTray = false;
}

bool AppDelegate::windowShouldClose()
{
    hideApplication();
    return false;
}

void AppDelegate::hideApplication()
{
    Workspace::shared().hideApplication(m_statusItem->hideStyle());
}

void AppDelegate::buildStatusMenu()
{
    QMenu* menu = m_statusItem->menu();
    menu->clear();
    m_statusItem->setImage(QStringLiteral("StatusIcon"));
    menu->addAction(QStringLiteral("Open"), this, &AppDelegate::showWindow);
    menu->addAction(QStringLiteral("Block History"), this, &AppDelegate::showBlockHistory);
    menu->addAction(QStringLiteral("Use Relaxed Policy"), this, &AppDelegate::showRelaxedPolicyEnable);
    menu->addAction(QStringLiteral("Sync Settings"), this, &AppDelegate::showSyncSettigns);
    if (SessionData::shared()->userConfig().DebugEnabled == 1)
        menu->addAction(QStringLiteral("Quit (TEST ONLY)"), this, &AppDelegate::quit);
}

void AppDelegate::showWindow()
{
    m_windowShownForNoTray = false;
    if (m_window)
        Workspace::orderFrontRegardless(m_window);
}

void AppDelegate::showBlockHistory()
{
    m_sessionModel->setSelectedMainPage(MainViewTabs::blockHistory);
    showWindow();
}

void AppDelegate::showRelaxedPolicyEnable()
{
    m_sessionModel->setSelectedMainPage(MainViewTabs::relaxedPolicy);
    m_autoenableRelaxedPolicy = true;
    showWindow();
}

void AppDelegate::showSyncSettigns()
{
    m_sessionModel->setSelectedMainPage(MainViewTabs::advanced);
    showWindow();
    m_sessionModel->setSyncStatus(SessionObservableObject::SyncStatus::inProgress);
    IpcConnection::shared().requestSync(m_sessionModel);
}

void AppDelegate::scheduleRebootCheck()
{
    QTimer::singleShot(m_timing.rebootCheckDelay, this, &AppDelegate::updateRebootRequest);
}

void AppDelegate::updateRebootRequest()
{
    m_sessionModel->setShouldRequestReboot(SessionData::shared()->lastUpdateTime() > SessionData::bootTime());
}

void AppDelegate::startReachability()
{
    m_reachability->whenReachable = [this](Reachability&) { m_sessionModel->setIsConnectedToInternet(true); };
    m_reachability->whenUnreachable = [this](Reachability&) { m_sessionModel->setIsConnectedToInternet(false); };
    if (!m_reachability->startNotifier())
        log(QStringLiteral("Unable to start reachability notifier"));
}

void AppDelegate::onIpcRegistered(bool success)
{
    if (!success) {
        log(QStringLiteral("Can't connect to extension"));
        return;
    }
    log(QStringLiteral("Gui client registered in IPC"));
    installHandlers();
    requestUserDataSync();
}

std::function<void(bool)> AppDelegate::registeredCompletion()
{
    return m_linkGate.guard([this](bool success) { onIpcRegistered(success); });
}

void AppDelegate::installHandlers()
{
    IpcConnection& link = IpcConnection::shared();
    const QPointer<AppDelegate> self = this;
    handlersOwner = this;
    link.addMessageHandler(IpcMessageId::urlBlocked, m_linkGate.guard([self](const std::shared_ptr<IpcMessage>& message) {
        const auto blocked = std::static_pointer_cast<UrlBlockedMessage>(message);
        MainQueue::async([self, url = blocked->url, category = blocked->category, trigger = blocked->textTrigger] {
            if (self)
                self->addBlockedUrl(url, category, trigger);
        });
    }));
    link.addMessageHandler(IpcMessageId::sync,
                           m_linkGate.guard([this](const std::shared_ptr<IpcMessage>&) { requestUserDataSync(); }));
    link.addMessageHandler(IpcMessageId::userDataSync, m_linkGate.guard([this](const std::shared_ptr<IpcMessage>& message) {
        handleUserDataSync(message);
    }));
    link.addMessageHandler(IpcMessageId::disable, m_linkGate.guard([this](const std::shared_ptr<IpcMessage>&) { quit(); }));
    link.addMessageHandler(IpcMessageId::installRootCertFailed,
                           m_linkGate.guard([this](const std::shared_ptr<IpcMessage>& message) {
                               handleInstallRootCertFailed(message);
                           }));
}

void AppDelegate::removeHandlers()
{
    // Only our own: a newer delegate may have installed its handlers since.
    AppDelegate* self = this;
    if (!handlersOwner.compare_exchange_strong(self, nullptr))
        return;
    IpcConnection& link = IpcConnection::shared();
    for (const IpcMessageId id : delegateHandlerIds)
        link.removeMessageHandler(id);
}

void AppDelegate::requestUserDataSync()
{
    UserDataSyncMessage request;
    request.request = true;
    IpcConnection::shared().sendMessage(request);
}

void AppDelegate::addBlockedUrl(const QString& url, const QString& category, const QString& textTrigger)
{
    QList<SessionObservableObject::BlockedUrl> list = m_sessionModel->blockedUrls();
    while (list.size() >= maximumBlockedUrls)
        list.removeFirst();
    list.append(SessionObservableObject::BlockedUrl(QDateTime::currentDateTime(), url, category, textTrigger));
    m_sessionModel->setBlockedUrls(list);
}

void AppDelegate::handleUserDataSync(const std::shared_ptr<IpcMessage>& message)
{
    const auto sync = std::static_pointer_cast<UserDataSyncMessage>(message);
    // Once quitting, the token has been cleared for good; late user data would store it again.
    if (!sync->data || m_pendingExit)
        return;
    auto decoded = SessionData::fromJson(*sync->data);
    if (!decoded) {
        log(QStringLiteral("Ignoring user data that does not decode: ") + decoded.error());
        return;
    }
    SessionData::setShared(decoded.value());
    const QPointer<AppDelegate> self = this;
    MainQueue::async([self] {
        if (self)
            self->applyUserData();
    });
}

void AppDelegate::applyUserData()
{
    m_sessionModel->refreshFromSessionData();
    buildStatusMenu();
    if (!isSignedIn() && proxyManager()) {
        proxyManager()->removeFromPreferences([self = QPointer<AppDelegate>(this)](const std::optional<PlatformError>&) {
            if (self)
                self->stopTunnel();
        });
    }
    m_updater->checkForUpdatesIfNeeded();
}

void AppDelegate::handleInstallRootCertFailed(const std::shared_ptr<IpcMessage>& message)
{
    const auto* request = dynamic_cast<const InstallRootCertFailedMessage*>(message.get());
    // The outcome is logged by the installation; the extension is told it is over either way.
    (void)installRootCertificate(0, request ? request->handle : SharedFileHandle(),
                                 QString::fromLatin1(CertificateHelper::sharedCertificatePath));
    IpcConnection::shared().sendMessage(InstallRootCertFinished());
}
