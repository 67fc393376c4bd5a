#pragma once

#include "control/IpcMessage.h"

// Application to extension: enable the relaxed policy (with the passcode) or end it.
// Extension to application: the answer, with a text to show.
class RelaxedPolicyMessage final : public IpcMessage
{
public:
    QString messageOrPasscode;
    bool enable = false;
    bool allowed = false;

    IpcMessageId id() const override { return IpcMessageId::relaxedPolicy; }
    IpcDictionary toDictionary() const override;
    bool load(const IpcDictionary& dictionary, SharedFileHandle fileHandle, QString* failure) override;
};
