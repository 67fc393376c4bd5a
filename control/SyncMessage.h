#pragma once

#include "control/IpcMessage.h"

// Application to extension: synchronise the settings with the server. Extension to
// application: the settings changed.
class SyncMessage final : public IpcMessage
{
public:
    bool isSyncSuccessfull = false;

    IpcMessageId id() const override { return IpcMessageId::sync; }
    IpcDictionary toDictionary() const override;
    bool load(const IpcDictionary& dictionary, SharedFileHandle fileHandle, QString* failure) override;
};
