#include "ExtensionInfo.h"

#include "platform/Deployment.h"

#include <QVariantMap>

namespace ExtensionInfo {

std::optional<QString> machServiceName(const Bundle& bundle)
{
    const QVariant extension = bundle.infoDictionary().value(QStringLiteral("NetworkExtension"));
    if (extension.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariant name = extension.toMap().value(QStringLiteral("NEMachServiceName"));
    if (name.typeId() != QMetaType::QString || name.toString().isEmpty())
        return std::nullopt;
    return name.toString();
}

QString controlSocketPath(const Bundle& bundle)
{
    return Deployment::runtimeDirectory() + QLatin1Char('/') + bundle.bundleIdentifier() +
           QStringLiteral(".control");
}

QString version(const Bundle& bundle)
{
    return bundle.string(QStringLiteral("CFBundleShortVersionString")).value_or(QString());
}

} // namespace ExtensionInfo
