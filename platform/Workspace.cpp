#include "platform/Workspace.h"

#include "platform/Deployment.h"
#include "platform/Diagnostics.h"
#include "platform/ReopenChannel.h"
#include "platform/XpcSocket.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QWidget>

namespace {
const QString login1Service = QStringLiteral("org.freedesktop.login1");
const QString login1Path = QStringLiteral("/org/freedesktop/login1");
const QString login1Manager = QStringLiteral("org.freedesktop.login1.Manager");
const QString fileManagerService = QStringLiteral("org.freedesktop.FileManager1");
const QString fileManagerPath = QStringLiteral("/org/freedesktop/FileManager1");

QUrl folderOf(const QUrl& url)
{
    return QUrl::fromLocalFile(QFileInfo(url.toLocalFile()).absolutePath());
}
} // namespace

Workspace::Workspace() = default;
Workspace::~Workspace() = default;

Workspace& Workspace::shared()
{
    static Workspace* instance = [] {
        auto* workspace = new Workspace;
        if (QCoreApplication* app = QCoreApplication::instance())
            workspace->moveToThread(app->thread());
        return workspace;
    }();
    return *instance;
}

bool Workspace::isApplicationWindow(const QWidget* widget)
{
    if (!widget || !widget->isWindow())
        return false;
    const Qt::WindowType type = widget->windowType();
    if (type == Qt::Popup || type == Qt::ToolTip || type == Qt::SplashScreen || type == Qt::Desktop)
        return false;
    // An XEmbed tray icon is a top-level widget that the tray reparents; it keeps out of
    // the window manager's hands, which none of our windows or dialogs does.
    return !widget->windowFlags().testFlag(Qt::BypassWindowManagerHint);
}

void Workspace::hideApplication(HideStyle style)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (!widget->isVisible() || !isApplicationWindow(widget))
            continue;
        if (style == HideStyle::minimize)
            widget->showMinimized();
        else
            widget->hide();
    }
}

void Workspace::orderFrontRegardless(QWidget* window)
{
    if (!window)
        return;
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}

bool Workspace::open(const QUrl& url)
{
    if (!url.isValid()) {
        Diagnostics::report(QStringLiteral("Workspace: cannot open an invalid URL"));
        return false;
    }
    const bool opened = QDesktopServices::openUrl(url);
    if (!opened)
        Diagnostics::report(QStringLiteral("Workspace: no handler opened %1").arg(url.toDisplayString()));
    return opened;
}

void Workspace::activateFileViewerSelectingURLs(const QList<QUrl>& urls)
{
    if (urls.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        open(folderOf(urls.first()));
        return;
    }
    QStringList uris;
    for (const QUrl& url : urls)
        uris.append(url.toString(QUrl::FullyEncoded));
    QDBusMessage call = QDBusMessage::createMethodCall(fileManagerService, fileManagerPath, fileManagerService,
                                                       QStringLiteral("ShowItems"));
    call << uris << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, folder = folderOf(urls.first())] {
        watcher->deleteLater();
        if (watcher->isError()) {
            Diagnostics::report(QStringLiteral("Workspace: no file manager answered (%1); opening the folder").arg(watcher->error().message()));
            open(folder);
        }
    });
}

bool Workspace::isAlreadyRunning(const QString& bundleIdentifier)
{
    if (m_instanceLock)
        return false;
    const QString dir = Deployment::runtimeDirectory();
    // The folder is this user's alone (created 0700, refused when someone else owns it):
    // the lock and the reopen socket in it can't be reached by another user.
    QString folderError;
    if (!XpcSocket::ensureRuntimeDirectory(&folderError)) {
        Diagnostics::report(QStringLiteral("Workspace: cannot use the instance lock: %1").arg(folderError));
        return false;
    }
    auto lock = std::make_unique<QLockFile>(dir + QLatin1Char('/') + bundleIdentifier + QStringLiteral(".lock"));
    // Only a dead holder makes a lock stale, never its age.
    lock->setStaleLockTime(0);
    const QString reopenPath = dir + QLatin1Char('/') + bundleIdentifier + QStringLiteral(".reopen");
    if (lock->tryLock(0)) {
        m_instanceLock = std::move(lock);
        m_reopenChannel = new ReopenChannel(reopenPath, this);
        connect(m_reopenChannel, &ReopenChannel::reopenRequested, this, &Workspace::reopenRequested);
        m_reopenChannel->listen();
        return false;
    }
    if (lock->error() == QLockFile::LockFailedError) {
        if (!ReopenChannel::requestReopen(reopenPath))
            Diagnostics::report(QStringLiteral("Workspace: the running instance did not take the request to show itself"));
        return true;
    }
    // Without a usable lock folder nothing can tell; starting beats refusing to start.
    Diagnostics::report(QStringLiteral("Workspace: cannot use the instance lock in %1").arg(dir));
    return false;
}

void Workspace::startWakeNotifications()
{
    if (m_wakeStarted)
        return;
    m_wakeStarted = true;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        Diagnostics::report(QStringLiteral("Workspace: no system bus (%1); wake notifications are off").arg(bus.lastError().message()));
        return;
    }
    if (!bus.connect(login1Service, login1Path, login1Manager, QStringLiteral("PrepareForSleep"), this,
                     SLOT(onPrepareForSleep(bool))))
        Diagnostics::report(QStringLiteral("Workspace: cannot watch logind's PrepareForSleep; wake notifications are off"));
}

void Workspace::onPrepareForSleep(bool sleeping)
{
    if (!sleeping)
        emit didWake();
}
