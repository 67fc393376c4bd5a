#pragma once

#include "control/IpcMessageId.h"
#include "control/IpcPayload.h"
#include "platform/FileHandle.h"

#include <QString>

#include <memory>

// A message between the application and the filter extension. It never crosses the link
// as an object but as three values: its identifier, its payload and at most one open file.
// Senders build a subclass, set its fields and hand it to the link; on receipt create()
// builds it again.
class IpcMessage
{
public:
    virtual ~IpcMessage();

    virtual IpcMessageId id() const = 0;
    // The payload to send.
    virtual IpcDictionary toDictionary() const;
    // The file to send with it; null for most messages.
    virtual SharedFileHandle fileHandle() const;
    // Fills the fields from a received payload and file (either may be empty). On failure
    // *failure, when given, says why in words that quote no payload value, so that it can
    // go into the log.
    virtual bool load(const IpcDictionary& dictionary, SharedFileHandle fileHandle, QString* failure);

    // The message of the class that id names, loaded from the payload and the file; null
    // when id is unknown or the message does not load, with the reason (free of payload
    // values) in *rejection when given. A message with no use for the file does not keep it.
    static std::shared_ptr<IpcMessage> create(qint16 id, const IpcDictionary& dictionary,
                                              SharedFileHandle fileHandle, QString* rejection = nullptr);

protected:
    IpcMessage() = default;
    IpcMessage(const IpcMessage&) = default;
    IpcMessage& operator=(const IpcMessage&) = default;
};
