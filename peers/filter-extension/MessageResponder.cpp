#include "MessageResponder.h"

#include "MessageSender.h"
#include "PeerLog.h"
#include "RelaxedPolicySettings.h"

#include "control/CopyLogMessage.h"
#include "control/ExportCertificateMessage.h"
#include "control/RelaxedPolicyMessage.h"
#include "control/SyncMessage.h"
#include "control/UserDataSyncMessage.h"

namespace {

void writeInto(const SharedFileHandle& handle, const QByteArray& bytes, const QString& what)
{
    if (!handle || !handle->isValid()) {
        peerLog(QStringLiteral("No file to write the %1 into").arg(what));
        return;
    }
    if (handle->write(bytes))
        peerLog(QStringLiteral("Wrote the %1 (%2 bytes)").arg(what).arg(bytes.size()));
    else
        peerLog(QStringLiteral("Cannot write the %1 into the file the app sent").arg(what));
}

} // namespace

MessageResponder::MessageResponder(const RelaxedPolicySettings& relaxedPolicy, QByteArray certificatePem,
                                   QString version)
    : m_relaxedPolicy(relaxedPolicy), m_certificatePem(std::move(certificatePem)),
      m_version(std::move(version))
{
}

void MessageResponder::respond(const IpcMessage& message, XpcConnection& origin) const
{
    switch (message.id()) {
    case IpcMessageId::userDataSync:
        if (static_cast<const UserDataSyncMessage&>(message).request) {
            // The payload is taken from the session data source (the user-data store).
            UserDataSyncMessage answer;
            answer.request = false;
            MessageSender::send(origin, answer);
        }
        return;
    case IpcMessageId::sync: {
        SyncMessage answer;
        answer.isSyncSuccessfull = true;
        MessageSender::send(origin, answer);
        return;
    }
    case IpcMessageId::relaxedPolicy: {
        const RelaxedPolicyMessage answer =
            m_relaxedPolicy.answer(static_cast<const RelaxedPolicyMessage&>(message));
        peerLog(QStringLiteral("Relaxed policy %1: %2")
                    .arg(answer.enable ? QStringLiteral("request") : QStringLiteral("end"),
                         answer.allowed ? QStringLiteral("granted") : QStringLiteral("not granted")));
        MessageSender::send(origin, answer);
        return;
    }
    case IpcMessageId::copyLog: {
        const auto& copyLog = static_cast<const CopyLogMessage&>(message);
        const QString type = rawValue(copyLog.type);
        writeInto(copyLog.handle, logText(type), type + QStringLiteral(" log"));
        return;
    }
    case IpcMessageId::exportCertificate:
        writeInto(static_cast<const ExportCertificateMessage&>(message).handle, m_certificatePem,
                  QStringLiteral("root certificate"));
        return;
    case IpcMessageId::disable:
    case IpcMessageId::installRootCertFinished:
    case IpcMessageId::update:
    case IpcMessageId::urlBlocked:
    case IpcMessageId::installRootCertFailed:
        return; // recorded for the control channel only
    }
}

QByteArray MessageResponder::logText(const QString& logType) const
{
    QByteArray text =
        QStringLiteral("Norvane filter extension %1, log %2\n").arg(m_version, logType).toUtf8();
    for (const QString& line : PeerLog::shared().lines())
        text += line.toUtf8() + '\n';
    return text;
}
