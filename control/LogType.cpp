#include "control/LogType.h"

QString rawValue(LogType type)
{
    switch (type) {
    case LogType::goLog:
        return QStringLiteral("goLog");
    case LogType::serviceLog:
        return QStringLiteral("serviceLog");
    case LogType::guiLog:
        return QStringLiteral("guiLog");
    }
    return QString();
}

std::optional<LogType> logTypeFromRawValue(const QString& raw)
{
    for (LogType type : {LogType::goLog, LogType::serviceLog, LogType::guiLog}) {
        if (raw == rawValue(type))
            return type;
    }
    return std::nullopt;
}
