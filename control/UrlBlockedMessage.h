#pragma once

#include "control/IpcMessage.h"

// Extension to application: a request was blocked.
class UrlBlockedMessage final : public IpcMessage
{
public:
    QString url;
    QString category;
    QString textTrigger;

    IpcMessageId id() const override { return IpcMessageId::urlBlocked; }
    IpcDictionary toDictionary() const override;
    bool load(const IpcDictionary& dictionary, SharedFileHandle fileHandle, QString* failure) override;
};
