#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace Hardware {
// The machine's serial number: the DMI product serial when it is readable and real,
// else the machine id; nothing when neither can be read.
std::optional<QString> serialNumber();
// The same, reading the given files in order (the first usable one wins).
std::optional<QString> serialNumber(const QStringList& sources);
// The computer's name as the user knows it.
QString localizedHostName();
} // namespace Hardware
