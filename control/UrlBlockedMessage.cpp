#include "control/UrlBlockedMessage.h"

IpcDictionary UrlBlockedMessage::toDictionary() const
{
    return {
        {QStringLiteral("url"), url},
        {QStringLiteral("category"), category},
        {QStringLiteral("textTrigger"), textTrigger},
    };
}

bool UrlBlockedMessage::load(const IpcDictionary& dictionary, SharedFileHandle, QString*)
{
    url = IpcPayload::readText(dictionary, QStringLiteral("url"));
    category = IpcPayload::readText(dictionary, QStringLiteral("category"));
    textTrigger = IpcPayload::readText(dictionary, QStringLiteral("textTrigger"));
    return true;
}
