#pragma once

#include <QString>
#include <QStringList>

// The messages of a log file written by Log: each entry without its "[date]: " prefix
// and its final line feed; an entry of several lines stays one entry.
namespace LogEntries {
QStringList read(const QString& filePath);
QStringList parse(const QString& text);
} // namespace LogEntries
