#include "core/Device.h"

#include "core/Log.h"
#include "platform/Bundle.h"
#include "platform/CommandRunner.h"
#include "platform/Hardware.h"
#include "platform/Pasteboard.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QSysInfo>

std::optional<QString> Device::serialNumber()
{
    return Hardware::serialNumber();
}

QString Device::fingerprintOf(const QString& serial)
{
    return QString::fromLatin1(QCryptographicHash::hash(serial.toUtf8(), QCryptographicHash::Sha1).toHex())
        .toUpper();
}

QString Device::fingerprint(const std::optional<QString>& serial)
{
    if (!serial)
        return {};
    const QString identifier = fingerprintOf(*serial);
    log(QStringLiteral("My fingerprint is ") + identifier);
    return identifier;
}

QString Device::fingerprint()
{
    return fingerprint(serialNumber());
}

QString Device::appVersion()
{
    return Bundle::main().string(QStringLiteral("CFBundleShortVersionString")).value_or(QString());
}

QString Device::versionTriple(const QString& versionText)
{
    static const QRegularExpression leading(QStringLiteral("^\\s*(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?"));
    const QRegularExpressionMatch match = leading.match(versionText);
    QStringList parts;
    for (int i = 1; i <= 3; ++i) {
        const QString number = match.captured(i);
        // Leading zeros are dropped, as a number would print.
        parts << QString::number(number.isEmpty() ? 0 : number.toULongLong());
    }
    return parts.join(QLatin1Char('.'));
}

QString Device::osVersion()
{
    return versionTriple(QSysInfo::kernelVersion());
}

void Device::copyToPasteboard(const QString& text)
{
    Pasteboard::setString(text);
}

QString runConsoleCommand(const QString& command, bool wait)
{
    const QString output = CommandRunner::shared()->run(command, wait);
    if (!wait)
        return {};
    log(QStringLiteral("NVAppProxyProvider runConsoleCommand ") + command + QLatin1Char(' ') + output);
    return output;
}
