#pragma once

#include "control/IpcMessage.h"

// Application to extension: the updater is about to relaunch the application.
class UpdateMessage final : public IpcMessage
{
public:
    IpcMessageId id() const override;
};
