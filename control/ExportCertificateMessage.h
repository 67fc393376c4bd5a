#pragma once

#include "control/IpcMessage.h"

// Application to extension: write the root certificate into handle, a file open for writing.
class ExportCertificateMessage final : public IpcMessage
{
public:
    SharedFileHandle handle;

    IpcMessageId id() const override { return IpcMessageId::exportCertificate; }
    SharedFileHandle fileHandle() const override { return handle; }
    // Fails without a file: there would be nowhere to write to.
    bool load(const IpcDictionary& dictionary, SharedFileHandle fileHandle, QString* failure) override;
};
