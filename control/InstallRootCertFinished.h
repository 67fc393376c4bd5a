#pragma once

#include "control/IpcMessage.h"

// Application to extension: the installation that InstallRootCertFailedMessage asked for
// is over, whatever its outcome.
class InstallRootCertFinished final : public IpcMessage
{
public:
    IpcMessageId id() const override;
};
