#pragma once

#include <QString>

#include <optional>

// Which of the extension's logs a CopyLogMessage asks for. Its raw value is the text on
// the wire.
enum class LogType
{
    goLog,
    serviceLog,
    guiLog,
};

QString rawValue(LogType type);
// Exact and case-sensitive: nullopt for any text but the three raw values.
std::optional<LogType> logTypeFromRawValue(const QString& raw);
