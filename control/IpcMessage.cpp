#include "control/IpcMessage.h"

#include "control/CopyLogMessage.h"
#include "control/DisableMessage.h"
#include "control/ExportCertificateMessage.h"
#include "control/InstallRootCertFailedMessage.h"
#include "control/InstallRootCertFinished.h"
#include "control/RelaxedPolicyMessage.h"
#include "control/SyncMessage.h"
#include "control/UpdateMessage.h"
#include "control/UrlBlockedMessage.h"
#include "control/UserDataSyncMessage.h"

namespace {
std::shared_ptr<IpcMessage> makeMessage(IpcMessageId id)
{
    switch (id) {
    case IpcMessageId::urlBlocked:
        return std::make_shared<UrlBlockedMessage>();
    case IpcMessageId::copyLog:
        return std::make_shared<CopyLogMessage>();
    case IpcMessageId::sync:
        return std::make_shared<SyncMessage>();
    case IpcMessageId::userDataSync:
        return std::make_shared<UserDataSyncMessage>();
    case IpcMessageId::relaxedPolicy:
        return std::make_shared<RelaxedPolicyMessage>();
    case IpcMessageId::disable:
        return std::make_shared<DisableMessage>();
    case IpcMessageId::installRootCertFailed:
        return std::make_shared<InstallRootCertFailedMessage>();
    case IpcMessageId::installRootCertFinished:
        return std::make_shared<InstallRootCertFinished>();
    case IpcMessageId::update:
        return std::make_shared<UpdateMessage>();
    case IpcMessageId::exportCertificate:
        return std::make_shared<ExportCertificateMessage>();
    }
    return nullptr;
}
} // namespace

IpcMessage::~IpcMessage() = default;

IpcDictionary IpcMessage::toDictionary() const
{
    return IpcDictionary();
}

SharedFileHandle IpcMessage::fileHandle() const
{
    return nullptr;
}

bool IpcMessage::load(const IpcDictionary&, SharedFileHandle, QString*)
{
    return true;
}

std::shared_ptr<IpcMessage> IpcMessage::create(qint16 id, const IpcDictionary& dictionary,
                                               SharedFileHandle fileHandle, QString* rejection)
{
    const auto messageId = ipcMessageIdFromRawValue(id);
    if (!messageId) {
        if (rejection)
            *rejection = QStringLiteral("unknown message identifier");
        return nullptr;
    }
    // A handle without a descriptor is no handle.
    if (fileHandle && !fileHandle->isValid())
        fileHandle.reset();
    auto message = makeMessage(*messageId);
    QString failure;
    if (!message->load(dictionary, std::move(fileHandle), &failure)) {
        if (rejection)
            *rejection = failure;
        return nullptr;
    }
    return message;
}
