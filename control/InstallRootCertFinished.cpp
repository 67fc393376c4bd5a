#include "control/InstallRootCertFinished.h"

IpcMessageId InstallRootCertFinished::id() const
{
    return IpcMessageId::installRootCertFinished;
}
