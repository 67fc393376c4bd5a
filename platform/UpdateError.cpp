#include "platform/UpdateError.h"

UpdateError UpdateError::noUpdate(const QString& installedVersion)
{
    return {NoUpdateError, QStringLiteral("You’re up to date: version %1 is the newest available.").arg(installedVersion)};
}
