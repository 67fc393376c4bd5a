#include "control/UserDataSyncMessage.h"

#include "core/SessionData.h"

#include <QStringDecoder>

#include <mutex>

namespace {
std::mutex sourceMutex;
UserDataSyncMessage::SessionDataSource& sessionDataSource()
{
    // The application sends its own session; the extension's stand-in sets its own source.
    static UserDataSyncMessage::SessionDataSource source = []() -> std::optional<QByteArray> {
        return SessionData::shared()->toJson();
    };
    return source;
}

std::optional<QByteArray> currentSessionJson()
{
    UserDataSyncMessage::SessionDataSource source;
    {
        std::lock_guard lock(sourceMutex);
        source = sessionDataSource();
    }
    return source ? source() : std::nullopt;
}
} // namespace

void UserDataSyncMessage::setSessionDataSource(SessionDataSource source)
{
    std::lock_guard lock(sourceMutex);
    sessionDataSource() = std::move(source);
}

IpcDictionary UserDataSyncMessage::toDictionary() const
{
    if (request)
        return {{QStringLiteral("request"), IpcPayload::fromBool(true)}};
    IpcDictionary dictionary{{QStringLiteral("request"), IpcPayload::fromBool(false)}};
    if (const auto json = currentSessionJson()) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
        QString text = decoder.decode(*json);
        dictionary.insert(QStringLiteral("data"), decoder.hasError() ? QStringLiteral("") : text);
    }
    return dictionary;
}

bool UserDataSyncMessage::load(const IpcDictionary& dictionary, SharedFileHandle, QString*)
{
    data = IpcPayload::readText(dictionary, QStringLiteral("data")).toUtf8();
    request = IpcPayload::readBool(dictionary, QStringLiteral("request"), true);
    return true;
}
