#pragma once

#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <functional>
#include <optional>

// The identifier that every message crosses the link with, as a signed 16-bit number.
enum class IpcMessageId : qint16
{
    urlBlocked = 0,
    copyLog = 1,
    sync = 2,
    userDataSync = 3,
    relaxedPolicy = 4,
    disable = 5,
    installRootCertFailed = 6,
    installRootCertFinished = 7,
    update = 8,
    exportCertificate = 9,
};

// The identifier with this raw value; nullopt for anything outside 0 to 9.
std::optional<IpcMessageId> ipcMessageIdFromRawValue(int raw);

constexpr qint16 rawValue(IpcMessageId id) noexcept
{
    return static_cast<qint16>(id);
}

// The case name ("urlBlocked", ...), for log lines.
QString ipcMessageIdName(IpcMessageId id);

// Identifiers key the link's handler table (QHash here; std::hash works for any enum).
inline size_t qHash(IpcMessageId id, size_t seed = 0) noexcept
{
    return std::hash<qint16>()(rawValue(id)) ^ seed;
}
