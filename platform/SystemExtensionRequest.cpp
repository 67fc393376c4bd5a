#include "platform/SystemExtensionRequest.h"

std::shared_ptr<SystemExtensionRequest> SystemExtensionRequest::activationRequest(const QString& identifier)
{
    return std::shared_ptr<SystemExtensionRequest>(new SystemExtensionRequest(Kind::activation, identifier));
}

std::shared_ptr<SystemExtensionRequest> SystemExtensionRequest::deactivationRequest(const QString& identifier)
{
    return std::shared_ptr<SystemExtensionRequest>(new SystemExtensionRequest(Kind::deactivation, identifier));
}
