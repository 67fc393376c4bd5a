#include "control/CopyLogMessage.h"

IpcDictionary CopyLogMessage::toDictionary() const
{
    return {{QStringLiteral("type"), rawValue(type)}};
}

bool CopyLogMessage::load(const IpcDictionary& dictionary, SharedFileHandle fileHandle, QString* failure)
{
    const auto found = dictionary.constFind(QStringLiteral("type"));
    QString why;
    std::optional<LogType> loaded;
    if (found == dictionary.constEnd())
        why = QStringLiteral("the \"type\" key is missing");
    else if (!(loaded = logTypeFromRawValue(*found)))
        why = QStringLiteral("the \"type\" value is not a log type");
    else if (!fileHandle)
        why = QStringLiteral("no file handle to copy the log into");
    if (!why.isEmpty()) {
        if (failure)
            *failure = why;
        return false;
    }
    type = *loaded;
    handle = std::move(fileHandle);
    return true;
}
