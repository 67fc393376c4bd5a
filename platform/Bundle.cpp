#include "platform/Bundle.h"

#include "platform/Diagnostics.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

#include <mutex>

namespace {

std::mutex mainMutex;
std::optional<QString>& mainOverride()
{
    static std::optional<QString> path;
    return path;
}

std::optional<QVariant> readValue(QXmlStreamReader& xml);

std::optional<QVariantMap> readDict(QXmlStreamReader& xml)
{
    QVariantMap map;
    QString key;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("key")) {
            key = xml.readElementText();
            continue;
        }
        auto value = readValue(xml);
        if (!value)
            return std::nullopt;
        map.insert(key, *value);
    }
    return map;
}

std::optional<QVariant> readValue(QXmlStreamReader& xml)
{
    const auto name = xml.name();
    if (name == QLatin1String("string"))
        return QVariant(xml.readElementText());
    if (name == QLatin1String("integer"))
        return QVariant(xml.readElementText().toLongLong());
    if (name == QLatin1String("real"))
        return QVariant(xml.readElementText().toDouble());
    if (name == QLatin1String("true") || name == QLatin1String("false")) {
        const bool value = name == QLatin1String("true");
        xml.skipCurrentElement();
        return QVariant(value);
    }
    if (name == QLatin1String("data"))
        return QVariant(QByteArray::fromBase64(xml.readElementText().simplified().toLatin1()));
    if (name == QLatin1String("date"))
        return QVariant(xml.readElementText());
    if (name == QLatin1String("dict")) {
        auto dict = readDict(xml);
        return dict ? std::optional<QVariant>(QVariant(*dict)) : std::nullopt;
    }
    if (name == QLatin1String("array")) {
        QVariantList list;
        while (xml.readNextStartElement()) {
            auto value = readValue(xml);
            if (!value)
                return std::nullopt;
            list.append(*value);
        }
        return QVariant(list);
    }
    return std::nullopt;
}

} // namespace

namespace PropertyList {

std::optional<QVariantMap> readDictionary(const QString& filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QXmlStreamReader xml(&file);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("plist"))
        return std::nullopt;
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("dict"))
        return std::nullopt;
    auto dict = readDict(xml);
    if (!dict || xml.hasError()) {
        Diagnostics::report(QStringLiteral("Bundle: cannot read property list %1").arg(filePath));
        return std::nullopt;
    }
    return dict;
}

} // namespace PropertyList

Bundle::Bundle(const QString& bundlePath) : m_path(QDir::cleanPath(bundlePath))
{
    m_info = PropertyList::readDictionary(m_path + QStringLiteral("/Contents/Info.plist")).value_or(QVariantMap{});
}

Bundle Bundle::main()
{
    {
        std::lock_guard lock(mainMutex);
        if (mainOverride())
            return Bundle(*mainOverride());
    }
    // Executables live in Name.app/Contents/MacOS.
    QDir dir(QCoreApplication::applicationDirPath());
    if (dir.dirName() == QLatin1String("MacOS") && dir.cdUp() && dir.dirName() == QLatin1String("Contents") &&
        dir.cdUp())
        return Bundle(dir.absolutePath());
    return Bundle();
}

void Bundle::setMainBundlePath(const QString& bundlePath)
{
    std::lock_guard lock(mainMutex);
    mainOverride() = bundlePath;
}

QString Bundle::resourcesPath() const
{
    return m_path + QStringLiteral("/Contents/Resources");
}

QString Bundle::executablePath() const
{
    return m_path + QStringLiteral("/Contents/MacOS/") + string(QStringLiteral("CFBundleExecutable")).value_or(QString());
}

std::optional<QString> Bundle::string(const QString& key) const
{
    const QVariant value = m_info.value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

QString Bundle::bundleIdentifier() const
{
    return string(QStringLiteral("CFBundleIdentifier")).value_or(QString());
}
