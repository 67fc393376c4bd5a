#include "platform/SystemExtensionManager.h"

#include "platform/Diagnostics.h"
#include "platform/ExtensionProcess.h"
#include "platform/MainQueue.h"
#include "platform/ProcessExitWatcher.h"
#include "platform/SystemExtensionRequestDelegate.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

SystemExtensionProperties propertiesOf(const Bundle& bundle)
{
    return SystemExtensionProperties{bundle.bundleIdentifier(),
                                     bundle.string(QStringLiteral("CFBundleVersion")).value_or(QString()),
                                     bundle.string(QStringLiteral("CFBundleShortVersionString")).value_or(QString()),
                                     bundle.bundlePath()};
}

QString systemExtensionsDirectory()
{
    return Bundle::main().bundlePath() + QStringLiteral("/Contents/Library/SystemExtensions");
}

} // namespace

SystemExtensionManager::SystemExtensionManager(QObject* parent) : QObject(parent) {}

SystemExtensionManager& SystemExtensionManager::shared()
{
    static SystemExtensionManager* instance = [] {
        auto* manager = new SystemExtensionManager;
        if (QCoreApplication* app = QCoreApplication::instance())
            manager->moveToThread(app->thread());
        return manager;
    }();
    return *instance;
}

QList<Bundle> SystemExtensionManager::extensionBundles()
{
    QList<Bundle> bundles;
    const QDir dir(systemExtensionsDirectory());
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        bundles.append(Bundle(dir.filePath(name)));
    return bundles;
}

std::optional<Bundle> SystemExtensionManager::findExtensionBundle(const QString& identifier)
{
    for (const Bundle& bundle : extensionBundles())
        if (!identifier.isEmpty() && bundle.bundleIdentifier() == identifier)
            return bundle;
    return std::nullopt;
}

void SystemExtensionManager::submitRequest(std::shared_ptr<SystemExtensionRequest> request)
{
    if (!request)
        return;
    QMetaObject::invokeMethod(this, [this, request] { enqueue(request); }, Qt::QueuedConnection);
}

void SystemExtensionManager::approvePendingRequests()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            while (!m_awaitingApproval.empty()) {
                m_approved.insert(m_awaitingApproval.front().get());
                m_queue.push_back(m_awaitingApproval.front());
                m_awaitingApproval.pop_front();
            }
            processNext();
        },
        Qt::QueuedConnection);
}

void SystemExtensionManager::enqueue(RequestPtr request)
{
    // A new request for an extension replaces one that still waits for the user.
    for (auto it = m_awaitingApproval.begin(); it != m_awaitingApproval.end();) {
        if ((*it)->identifier() == request->identifier()) {
            const RequestPtr superseded = *it;
            it = m_awaitingApproval.erase(it);
            fail(superseded, SystemExtensionError::requestSuperseded,
                 QStringLiteral("A newer request for %1 superseded this one").arg(superseded->identifier()));
        } else {
            ++it;
        }
    }
    m_queue.push_back(std::move(request));
    processNext();
}

void SystemExtensionManager::processNext()
{
    if (m_current || m_queue.empty())
        return;
    m_current = m_queue.front();
    m_queue.pop_front();
    if (m_current->kind() == SystemExtensionRequest::Kind::activation)
        activate(m_current);
    else
        deactivate(m_current);
}

void SystemExtensionManager::requestDone()
{
    m_current.reset();
    // Later requests run from the event loop, after the delegate has had its answer.
    QMetaObject::invokeMethod(this, &SystemExtensionManager::processNext, Qt::QueuedConnection);
}

void SystemExtensionManager::finish(RequestPtr request, SystemExtensionRequest::Result result)
{
    m_approved.erase(request.get());
    if (request == m_current)
        requestDone();
    if (SystemExtensionRequestDelegate* delegate = request->delegate())
        delegate->requestDidFinishWithResult(*request, result);
}

void SystemExtensionManager::fail(RequestPtr request, int code, const QString& text)
{
    m_approved.erase(request.get());
    if (request == m_current)
        requestDone();
    const PlatformError error(QString::fromLatin1(SystemExtensionError::domain), code, text);
    if (SystemExtensionRequestDelegate* delegate = request->delegate())
        delegate->requestDidFailWithError(*request, error);
}

void SystemExtensionManager::stopProcess(qint64 pid, const QString& identifier, std::function<void(bool)> done)
{
    auto* watcher = new ProcessExitWatcher(pid, this);
    auto* timer = new QTimer(watcher);
    timer->setSingleShot(true);
    auto finished = std::make_shared<std::function<void(bool)>>(std::move(done));
    connect(watcher, &ProcessExitWatcher::exited, this, [watcher, timer, finished] {
        timer->stop();
        watcher->deleteLater();
        (*finished)(true);
    });
    connect(timer, &QTimer::timeout, watcher, [this, watcher, timer, identifier, pid, finished] {
        if (!watcher->property("killed").toBool()) {
            Diagnostics::report(
                QStringLiteral("SystemExtensionManager: %1 (pid %2) did not stop on SIGTERM; killing it").arg(identifier).arg(pid));
            watcher->setProperty("killed", true);
            ::kill(pid_t(pid), SIGKILL);
            timer->start(m_stopTimeout);
            return;
        }
        watcher->disconnect(this);
        watcher->deleteLater();
        (*finished)(false);
    });
    if (::kill(pid_t(pid), SIGTERM) != 0 && errno != ESRCH) {
        Diagnostics::report(QStringLiteral("SystemExtensionManager: cannot stop %1 (pid %2): %3")
                                .arg(identifier)
                                .arg(pid)
                                .arg(QString::fromLocal8Bit(strerror(errno))));
        watcher->disconnect(this);
        watcher->deleteLater();
        QMetaObject::invokeMethod(this, [finished] { (*finished)(false); }, Qt::QueuedConnection);
        return;
    }
    timer->start(m_stopTimeout);
}

void SystemExtensionManager::activate(RequestPtr request)
{
    const QString identifier = request->identifier();
    const std::optional<Bundle> bundle = findExtensionBundle(identifier);
    if (!bundle) {
        fail(request, SystemExtensionError::extensionNotFound,
             QStringLiteral("No system extension %1 in %2").arg(identifier, systemExtensionsDirectory()));
        return;
    }
    const SystemExtensionProperties replacement = propertiesOf(*bundle);
    const std::optional<SystemExtensionProperties> existing = m_installed.installed(identifier);
    const ExtensionProcess process(identifier);
    const bool replacing = existing && !existing->isSameVersion(replacement);

    if (replacing) {
        SystemExtensionRequestDelegate* delegate = request->delegate();
        const auto action = delegate ? delegate->actionForReplacingExtension(*request, *existing, replacement)
                                     : SystemExtensionRequest::ReplacementAction::replace;
        if (action == SystemExtensionRequest::ReplacementAction::cancel) {
            // The installed extension stays active, and the system keeps it running.
            if (!process.isRunning()) {
                if (const auto error = process.start(bundle->executablePath()))
                    Diagnostics::report(QStringLiteral("SystemExtensionManager: cannot start %1: %2").arg(identifier, *error));
            }
            fail(request, SystemExtensionError::requestCanceled,
                 QStringLiteral("The replacement of %1 was canceled").arg(identifier));
            return;
        }
    }

    if (!existing && m_userApprovalRequired && !m_approved.count(request.get())) {
        m_awaitingApproval.push_back(request);
        requestDone();
        if (SystemExtensionRequestDelegate* delegate = request->delegate())
            delegate->requestNeedsUserApproval(*request);
        return;
    }

    const auto install = [this, request, replacement, executable = bundle->executablePath()] {
        // Starting the process waits for its exec, which takes a while on a busy machine:
        // that happens on the launcher's thread, and the answer comes back here.
        m_launcher.async([self = QPointer<SystemExtensionManager>(this), request, replacement, executable] {
            const ExtensionProcess process(request->identifier());
            const std::optional<QString> error = process.isRunning() ? std::nullopt : process.start(executable);
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [self, request, replacement, error] {
                    if (self)
                        self->recordInstalled(request, replacement, error);
                },
                Qt::QueuedConnection);
        });
    };

    const auto oldPid = process.runningProcessId();
    if (replacing && oldPid) {
        // The old version's process makes way before the new one starts in its place.
        stopProcess(*oldPid, identifier, [this, request, install](bool stopped) {
            if (!stopped) {
                fail(request, SystemExtensionError::unknown,
                     QStringLiteral("Cannot stop the installed version of %1").arg(request->identifier()));
                return;
            }
            install();
        });
        return;
    }
    install();
}

void SystemExtensionManager::recordInstalled(RequestPtr request, const SystemExtensionProperties& replacement,
                                             const std::optional<QString>& startError)
{
    if (startError) {
        fail(request, SystemExtensionError::validationFailed,
             QStringLiteral("Cannot start %1: %2").arg(request->identifier(), *startError));
        return;
    }
    QString recordError;
    if (!m_installed.record(replacement, &recordError)) {
        fail(request, SystemExtensionError::unknown,
             QStringLiteral("Cannot record %1: %2").arg(request->identifier(), recordError));
        return;
    }
    finish(request, SystemExtensionRequest::Result::completed);
}

void SystemExtensionManager::deactivate(RequestPtr request)
{
    const QString identifier = request->identifier();
    const ExtensionProcess process(identifier);
    const auto pid = process.runningProcessId();
    if (!pid && !m_installed.installed(identifier) && !findExtensionBundle(identifier)) {
        fail(request, SystemExtensionError::extensionNotFound, QStringLiteral("No system extension %1").arg(identifier));
        return;
    }
    const auto uninstall = [this, request] {
        ExtensionProcess(request->identifier()).removePidFile();
        m_installed.remove(request->identifier());
        finish(request, SystemExtensionRequest::Result::completed);
    };
    if (!pid) {
        uninstall();
        return;
    }
    stopProcess(*pid, identifier, [this, request, uninstall, pid = *pid](bool stopped) {
        if (!stopped) {
            fail(request, SystemExtensionError::unknown,
                 QStringLiteral("Cannot stop %1 (pid %2)").arg(request->identifier()).arg(pid));
            return;
        }
        uninstall();
    });
}
