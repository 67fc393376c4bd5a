#pragma once

#include "control/IpcMessage.h"

// Application to extension when the application quits; extension to application: quit.
class DisableMessage final : public IpcMessage
{
public:
    QString bundlePath;
    qint32 guiProcessPid = 0;

    IpcMessageId id() const override { return IpcMessageId::disable; }
    IpcDictionary toDictionary() const override;
    bool load(const IpcDictionary& dictionary, SharedFileHandle fileHandle, QString* failure) override;
};
