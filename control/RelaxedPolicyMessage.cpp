#include "control/RelaxedPolicyMessage.h"

IpcDictionary RelaxedPolicyMessage::toDictionary() const
{
    return {
        {QStringLiteral("messageOrPasscode"), messageOrPasscode},
        {QStringLiteral("allowed"), IpcPayload::fromBool(allowed)},
        {QStringLiteral("enable"), IpcPayload::fromBool(enable)},
    };
}

bool RelaxedPolicyMessage::load(const IpcDictionary& dictionary, SharedFileHandle, QString*)
{
    messageOrPasscode = IpcPayload::readText(dictionary, QStringLiteral("messageOrPasscode"));
    allowed = IpcPayload::readBool(dictionary, QStringLiteral("allowed"));
    enable = IpcPayload::readBool(dictionary, QStringLiteral("enable"));
    return true;
}
