#include "control/IpcMessageId.h"

std::optional<IpcMessageId> ipcMessageIdFromRawValue(int raw)
{
    if (raw < rawValue(IpcMessageId::urlBlocked) || raw > rawValue(IpcMessageId::exportCertificate))
        return std::nullopt;
    return static_cast<IpcMessageId>(raw);
}

QString ipcMessageIdName(IpcMessageId id)
{
    switch (id) {
    case IpcMessageId::urlBlocked:
        return QStringLiteral("urlBlocked");
    case IpcMessageId::copyLog:
        return QStringLiteral("copyLog");
    case IpcMessageId::sync:
        return QStringLiteral("sync");
    case IpcMessageId::userDataSync:
        return QStringLiteral("userDataSync");
    case IpcMessageId::relaxedPolicy:
        return QStringLiteral("relaxedPolicy");
    case IpcMessageId::disable:
        return QStringLiteral("disable");
    case IpcMessageId::installRootCertFailed:
        return QStringLiteral("installRootCertFailed");
    case IpcMessageId::installRootCertFinished:
        return QStringLiteral("installRootCertFinished");
    case IpcMessageId::update:
        return QStringLiteral("update");
    case IpcMessageId::exportCertificate:
        return QStringLiteral("exportCertificate");
    }
    return QString();
}
