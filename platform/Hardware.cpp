#include "platform/Hardware.h"

#include <QFile>
#include <QSysInfo>

namespace {
bool isPlaceholder(const QString& serial)
{
    // Firmware that leaves the field unset fills it with one of these.
    static const QStringList placeholders = {QStringLiteral("None"), QStringLiteral("Not Specified"),
                                             QStringLiteral("To Be Filled By O.E.M."),
                                             QStringLiteral("Default string"), QStringLiteral("0")};
    return placeholders.contains(serial, Qt::CaseInsensitive);
}
} // namespace

namespace Hardware {

std::optional<QString> serialNumber(const QStringList& sources)
{
    for (const QString& path : sources) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString value = QString::fromUtf8(file.read(4096)).trimmed();
        if (!value.isEmpty() && !isPlaceholder(value))
            return value;
    }
    return std::nullopt;
}

std::optional<QString> serialNumber()
{
    return serialNumber({QStringLiteral("/sys/class/dmi/id/product_serial"), QStringLiteral("/etc/machine-id"),
                         QStringLiteral("/var/lib/dbus/machine-id")});
}

QString localizedHostName()
{
    return QSysInfo::machineHostName();
}

} // namespace Hardware
