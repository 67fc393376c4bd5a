#pragma once

#include <QJsonObject>
#include <QString>

// Small JSON records kept by the platform layer (installed extensions, network preferences,
// process ids). Writes are atomic and private to the user; a file that does not parse is
// moved aside with one report line, so that one bad write never blocks the program.
namespace JsonFile {

struct ReadResult
{
    enum class Status { missing, loaded, corrupt, unreadable };
    Status status = Status::missing;
    QJsonObject object;  // empty unless loaded
    QString errorText;   // for unreadable
};

// owner names the record in report lines ("ProxyPreferences", ...).
ReadResult read(const QString& filePath, const QString& owner);
// Writes atomically with mode 0600, creating the folder; false (and a report line) on failure.
bool write(const QString& filePath, const QJsonObject& object, const QString& owner, QString* errorText = nullptr);

} // namespace JsonFile
