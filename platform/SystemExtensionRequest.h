#pragma once

#include <QString>

#include <atomic>
#include <memory>

class SystemExtensionRequestDelegate;

// The platform's error codes for system-extension requests (domain "OSSystemExtensionErrorDomain").
namespace SystemExtensionError {
inline constexpr const char* domain = "OSSystemExtensionErrorDomain";
enum Code {
    unknown = 1,
    missingEntitlement = 2,
    unsupportedParentBundleLocation = 3,
    extensionNotFound = 4,
    extensionMissingIdentifier = 5,
    duplicateExtensionIdentifer = 6,
    unknownExtensionCategory = 7,
    codeSignatureInvalid = 8,
    validationFailed = 9,
    forbiddenBySystemPolicy = 10,
    requestCanceled = 11,
    requestSuperseded = 12,
    authorizationRequired = 13,
};
} // namespace SystemExtensionError

// A request to activate or deactivate the system extension with a bundle identifier.
// Submit it to SystemExtensionManager; the answers reach the delegate on the main thread.
class SystemExtensionRequest
{
public:
    enum class Kind { activation, deactivation };
    enum class Result { completed = 0, willCompleteAfterReboot = 1 };
    enum class ReplacementAction { cancel = 0, replace = 1 };

    static std::shared_ptr<SystemExtensionRequest> activationRequest(const QString& identifier);
    static std::shared_ptr<SystemExtensionRequest> deactivationRequest(const QString& identifier);

    Kind kind() const { return m_kind; }
    QString identifier() const { return m_identifier; }

    // Not owned; it must outlive the request's last answer.
    SystemExtensionRequestDelegate* delegate() const { return m_delegate; }
    void setDelegate(SystemExtensionRequestDelegate* delegate) { m_delegate = delegate; }

private:
    SystemExtensionRequest(Kind kind, QString identifier) : m_kind(kind), m_identifier(std::move(identifier)) {}

    Kind m_kind;
    QString m_identifier;
    std::atomic<SystemExtensionRequestDelegate*> m_delegate{nullptr};
};
