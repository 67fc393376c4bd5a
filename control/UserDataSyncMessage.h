#pragma once

#include "control/IpcMessage.h"

#include <QByteArray>

#include <functional>
#include <optional>

// Application to extension with request true: send me the user data. Extension to
// application with request false: here is the user data (the session's JSON).
class UserDataSyncMessage final : public IpcMessage
{
public:
    // The sender's current session data in its JSON form; nullopt when it does not encode.
    using SessionDataSource = std::function<std::optional<QByteArray>()>;

    // Received data only: the payload of an outgoing message is taken from the session
    // data source at the time of sending.
    std::optional<QByteArray> data;
    bool request = false;

    IpcMessageId id() const override { return IpcMessageId::userDataSync; }
    // {"request": "1"} when asking; {"request": "0", "data": <session JSON>} otherwise,
    // without "data" when there is no session JSON and with "" when it is not UTF-8.
    IpcDictionary toDictionary() const override;
    // An absent "request" counts as a request; an absent "data" gives an empty buffer.
    bool load(const IpcDictionary& dictionary, SharedFileHandle fileHandle, QString* failure) override;

    // Where toDictionary() takes the session JSON from, for the whole process: by default
    // SessionData::shared(); nullptr means none. Any thread may call it.
    static void setSessionDataSource(SessionDataSource source);
};
