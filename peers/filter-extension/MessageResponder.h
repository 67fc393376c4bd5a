#pragma once

#include "control/IpcMessage.h"

#include <QByteArray>
#include <QString>

class RelaxedPolicySettings;
class XpcConnection;

// What the stand-in does with each message the application sends: answers a user-data
// request with the session, a sync request with a finished sync, a relaxed-policy request
// by its settings, and fills the files of CopyLogMessage and ExportCertificateMessage.
// Answers go back on the connection the request came from. Runs on that connection's thread.
class MessageResponder
{
public:
    MessageResponder(const RelaxedPolicySettings& relaxedPolicy, QByteArray certificatePem, QString version);

    void respond(const IpcMessage& message, XpcConnection& origin) const;

    // What CopyLogMessage gets: a heading that names the log type, then the log's lines.
    QByteArray logText(const QString& logType) const;
    QByteArray certificatePem() const { return m_certificatePem; }

private:
    const RelaxedPolicySettings& m_relaxedPolicy;
    const QByteArray m_certificatePem;
    const QString m_version;
};
