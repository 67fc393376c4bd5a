#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

// An application bundle directory (Name.app/Contents/{MacOS,Resources,Info.plist}) and its
// information dictionary, read from the XML property list.
class Bundle
{
public:
    Bundle() = default;
    explicit Bundle(const QString& bundlePath);

    // The bundle that holds the running executable; an empty bundle outside of one.
    static Bundle main();
    // Points main() at another bundle (tests, whose executables live outside the bundle).
    static void setMainBundlePath(const QString& bundlePath);

    bool isValid() const { return !m_path.isEmpty(); }
    QString bundlePath() const { return m_path; }
    QString resourcesPath() const;
    QString executablePath() const;
    QVariantMap infoDictionary() const { return m_info; }
    std::optional<QString> string(const QString& key) const;
    QString bundleIdentifier() const;

private:
    QString m_path;
    QVariantMap m_info;
};

namespace PropertyList {
// Reads the top-level dictionary of an XML property list; nullopt when it is not one.
std::optional<QVariantMap> readDictionary(const QString& filePath);
} // namespace PropertyList
