// The message factory against arbitrary deliveries. Input: a 16-bit identifier (big-endian),
// a flags byte (bit 0: a file travels with the delivery), then key/value texts separated by
// NUL bytes. Besides not crashing, every message the factory builds must come back the same
// from its own payload: what the link accepts, it can send on unchanged.
#include "control/IpcMessage.h"
#include "control/UserDataSyncMessage.h"
#include "platform/FileHandle.h"

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Outgoing user data would read the session store; fuzzing must not touch the disk.
    UserDataSyncMessage::setSessionDataSource(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const auto id = static_cast<qint16>((data[0] << 8) | data[1]);
    const bool withFile = data[2] & 1;
    const QList<QByteArray> pieces =
        QByteArray(reinterpret_cast<const char*>(data + 3), static_cast<qsizetype>(size - 3)).split('\0');
    IpcDictionary dictionary;
    for (qsizetype i = 0; i + 1 < pieces.size(); i += 2)
        dictionary.insert(QString::fromUtf8(pieces.at(i)), QString::fromUtf8(pieces.at(i + 1)));

    SharedFileHandle handle;
    if (withFile)
        handle = std::make_shared<const FileHandle>(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    QString rejection;
    const auto message = IpcMessage::create(id, dictionary, handle, &rejection);
    if (!message) {
        if (rejection.isEmpty())
            std::abort();
        return 0;
    }
    const IpcDictionary sent = message->toDictionary();
    const auto again = IpcMessage::create(id, sent, message->fileHandle(), nullptr);
    if (!again || again->id() != message->id() || again->toDictionary() != sent)
        std::abort();
    return 0;
}
