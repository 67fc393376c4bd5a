#pragma once

#include "control/IpcMessage.h"

// Extension to application: install the root certificate. handle, when present, is open
// for reading the PEM text; without it the application reads the shared certificate file.
class InstallRootCertFailedMessage final : public IpcMessage
{
public:
    SharedFileHandle handle;

    IpcMessageId id() const override { return IpcMessageId::installRootCertFailed; }
    SharedFileHandle fileHandle() const override { return handle; }
    bool load(const IpcDictionary& dictionary, SharedFileHandle fileHandle, QString* failure) override;
};
