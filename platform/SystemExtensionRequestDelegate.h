#pragma once

#include "platform/PlatformError.h"
#include "platform/SystemExtensionProperties.h"
#include "platform/SystemExtensionRequest.h"

// Receives the answers to a system-extension request, always on the main thread. A request
// ends with exactly one of requestDidFinishWithResult or requestDidFailWithError;
// requestNeedsUserApproval may come before that.
class SystemExtensionRequestDelegate
{
public:
    virtual ~SystemExtensionRequestDelegate() = default;

    virtual void requestDidFinishWithResult(const SystemExtensionRequest& request, SystemExtensionRequest::Result result) = 0;
    virtual void requestDidFailWithError(const SystemExtensionRequest& request, const PlatformError& error) = 0;
    virtual void requestNeedsUserApproval(const SystemExtensionRequest& request) = 0;
    // Asked when another version of the extension is installed: replace it, or cancel the
    // request (which then fails with requestCanceled and leaves the installed one in place).
    virtual SystemExtensionRequest::ReplacementAction actionForReplacingExtension(
        const SystemExtensionRequest& request, const SystemExtensionProperties& existing,
        const SystemExtensionProperties& replacement) = 0;
};
