#pragma once

#include "platform/Bundle.h"
#include "platform/InstalledSystemExtensions.h"
#include "platform/PlatformError.h"
#include "platform/SerialQueue.h"
#include "platform/SystemExtensionRequest.h"

#include <QObject>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>

// Activates and deactivates the system extensions carried in the main bundle's
// Contents/Library/SystemExtensions. Activation records the extension bundle's version
// (asking the request's delegate before replacing another installed version) and starts
// the extension's executable, detached, when it is not running; deactivation stops the
// process (SIGTERM, then SIGKILL after the stop timeout) and removes the record.
//
// Requests may be submitted from any thread; they are carried out one after another on the
// main thread, where every delegate answer is delivered. Starting an extension's process
// runs on a thread of its own, so that the main thread never waits for it.
class SystemExtensionManager : public QObject
{
    Q_OBJECT
public:
    explicit SystemExtensionManager(QObject* parent = nullptr);
    static SystemExtensionManager& shared();

    void submitRequest(std::shared_ptr<SystemExtensionRequest> request);

    // The extension bundle in the main bundle whose CFBundleIdentifier is the identifier.
    static std::optional<Bundle> findExtensionBundle(const QString& identifier);
    // The bundles under the main bundle's Contents/Library/SystemExtensions, by folder name.
    static QList<Bundle> extensionBundles();

    // Stand-in for the user's approval in the system settings: when required, the first
    // activation of an extension reports requestNeedsUserApproval and waits until
    // approvePendingRequests() (a later request for the same extension supersedes it).
    void setUserApprovalRequired(bool required) { m_userApprovalRequired = required; }
    void approvePendingRequests();

    void setStopTimeout(std::chrono::milliseconds timeout) { m_stopTimeout = timeout; }
    InstalledSystemExtensions& installedExtensions() { return m_installed; }

private:
    using RequestPtr = std::shared_ptr<SystemExtensionRequest>;

    void enqueue(RequestPtr request);
    void processNext();
    void activate(RequestPtr request);
    void deactivate(RequestPtr request);
    void recordInstalled(RequestPtr request, const SystemExtensionProperties& replacement,
                         const std::optional<QString>& startError);
    void finish(RequestPtr request, SystemExtensionRequest::Result result);
    void fail(RequestPtr request, int code, const QString& text);
    void requestDone();
    // SIGTERM, SIGKILL after the stop timeout; done(false) when it outlives both.
    void stopProcess(qint64 pid, const QString& identifier, std::function<void(bool)> done);

    InstalledSystemExtensions m_installed;
    std::deque<RequestPtr> m_queue;
    RequestPtr m_current;
    std::deque<RequestPtr> m_awaitingApproval;
    std::set<const SystemExtensionRequest*> m_approved;
    bool m_userApprovalRequired = false;
    std::chrono::milliseconds m_stopTimeout{5000};
    SerialQueue m_launcher{QStringLiteral("SystemExtension launcher")};
};
