#include "platform/InstalledSystemExtensions.h"

#include "platform/JsonFile.h"
#include "platform/Paths.h"

#include <QDateTime>
#include <QJsonObject>

namespace {
const QString owner = QStringLiteral("InstalledSystemExtensions");
const QString extensionsKey = QStringLiteral("extensions");
} // namespace

InstalledSystemExtensions::InstalledSystemExtensions()
    : InstalledSystemExtensions(Paths::dataDirectory() + QStringLiteral("/system-extensions.json"))
{
}

InstalledSystemExtensions::InstalledSystemExtensions(QString filePath) : m_filePath(std::move(filePath)) {}

std::optional<SystemExtensionProperties> InstalledSystemExtensions::installed(const QString& identifier) const
{
    const QJsonObject all = JsonFile::read(m_filePath, owner).object.value(extensionsKey).toObject();
    const QJsonValue entry = all.value(identifier);
    if (!entry.isObject())
        return std::nullopt;
    const QJsonObject object = entry.toObject();
    return SystemExtensionProperties{identifier, object.value(QStringLiteral("bundleVersion")).toString(),
                                     object.value(QStringLiteral("bundleShortVersion")).toString(),
                                     object.value(QStringLiteral("bundlePath")).toString()};
}

bool InstalledSystemExtensions::record(const SystemExtensionProperties& properties, QString* errorText)
{
    QJsonObject document = JsonFile::read(m_filePath, owner).object;
    QJsonObject all = document.value(extensionsKey).toObject();
    all.insert(properties.bundleIdentifier,
               QJsonObject{{QStringLiteral("bundleVersion"), properties.bundleVersion},
                           {QStringLiteral("bundleShortVersion"), properties.bundleShortVersion},
                           {QStringLiteral("bundlePath"), properties.bundlePath},
                           {QStringLiteral("activatedAt"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)}});
    document.insert(extensionsKey, all);
    return JsonFile::write(m_filePath, document, owner, errorText);
}

bool InstalledSystemExtensions::remove(const QString& identifier)
{
    QJsonObject document = JsonFile::read(m_filePath, owner).object;
    QJsonObject all = document.value(extensionsKey).toObject();
    if (!all.contains(identifier))
        return true;
    all.remove(identifier);
    document.insert(extensionsKey, all);
    return JsonFile::write(m_filePath, document, owner);
}
