#include "control/ExportCertificateMessage.h"

bool ExportCertificateMessage::load(const IpcDictionary&, SharedFileHandle fileHandle, QString* failure)
{
    if (!fileHandle) {
        if (failure)
            *failure = QStringLiteral("no file handle to write the certificate into");
        return false;
    }
    handle = std::move(fileHandle);
    return true;
}
