#pragma once

#include "control/IpcMessage.h"
#include "control/LogType.h"

// Application to extension: copy the extension's log of this type into handle, a file
// open for writing.
class CopyLogMessage final : public IpcMessage
{
public:
    LogType type = LogType::goLog;
    SharedFileHandle handle;

    IpcMessageId id() const override { return IpcMessageId::copyLog; }
    IpcDictionary toDictionary() const override;
    SharedFileHandle fileHandle() const override { return handle; }
    // Fails without a known "type", and without a file: there would be nowhere to copy to.
    bool load(const IpcDictionary& dictionary, SharedFileHandle fileHandle, QString* failure) override;
};
