#include "platform/SecurityStatus.h"

namespace SecurityStatus {

QString description(OSStatus status)
{
    switch (status) {
    case success:
        return QStringLiteral("no error");
    case unimplemented:
        return QStringLiteral("function or operation not implemented");
    case param:
        return QStringLiteral("one or more parameters passed to the function were not valid");
    case allocate:
        return QStringLiteral("failed to allocate memory");
    case internalComponent:
        return QStringLiteral("an internal component failed");
    case notAvailable:
        return QStringLiteral("no keychain is available");
    case authFailed:
        return QStringLiteral("the user name or passphrase you entered is not correct");
    case invalidKeychain:
        return QStringLiteral("the specified keychain is not a valid keychain file");
    case duplicateItem:
        return QStringLiteral("the specified item already exists in the keychain");
    case itemNotFound:
        return QStringLiteral("the specified item could not be found in the keychain");
    case interactionNotAllowed:
        return QStringLiteral("user interaction is not allowed");
    case decode:
        return QStringLiteral("unable to decode the provided data");
    default:
        return QStringLiteral("unknown status %1").arg(status);
    }
}

} // namespace SecurityStatus
