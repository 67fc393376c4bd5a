#include "control/InstallRootCertFailedMessage.h"

bool InstallRootCertFailedMessage::load(const IpcDictionary&, SharedFileHandle fileHandle, QString*)
{
    handle = std::move(fileHandle);
    return true;
}
