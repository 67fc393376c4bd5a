#include "control/DisableMessage.h"

IpcDictionary DisableMessage::toDictionary() const
{
    return {
        {QStringLiteral("bundlePath"), bundlePath},
        {QStringLiteral("guiProcessPid"), IpcPayload::fromInt32(guiProcessPid)},
    };
}

bool DisableMessage::load(const IpcDictionary& dictionary, SharedFileHandle, QString*)
{
    bundlePath = IpcPayload::readText(dictionary, QStringLiteral("bundlePath"));
    guiProcessPid = IpcPayload::readInt32(dictionary, QStringLiteral("guiProcessPid"));
    return true;
}
