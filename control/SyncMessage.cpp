#include "control/SyncMessage.h"

IpcDictionary SyncMessage::toDictionary() const
{
    return {{QStringLiteral("isSyncSuccessfull"), IpcPayload::fromBool(isSyncSuccessfull)}};
}

bool SyncMessage::load(const IpcDictionary& dictionary, SharedFileHandle, QString*)
{
    isSyncSuccessfull = IpcPayload::readBool(dictionary, QStringLiteral("isSyncSuccessfull"));
    return true;
}
