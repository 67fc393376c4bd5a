#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// Keys, signed archives and bundle folders for the software-update tests.
namespace UpdateTest {

inline constexpr const char* bundleIdentifier = "org.norvane.filter.mac";

struct KeyPair
{
    QByteArray privateKey; // raw 32-byte seed
    QByteArray publicKey;  // raw 32 bytes
    QString publicBase64() const { return QString::fromLatin1(publicKey.toBase64()); }
};
KeyPair makeKeyPair();
// Base64 of the Ed25519 signature of the file's bytes.
QString signFile(const KeyPair& key, const QString& filePath);

// Name.app/Contents/{Info.plist, MacOS/Norvane, Resources/version.txt}; publicKey nothing:
// no SUPublicEDKey.
void writeBundle(const QString& bundlePath, const QString& version, const std::optional<QString>& publicKey,
                 const QString& identifier = QString::fromLatin1(bundleIdentifier));

struct Entry
{
    enum class Type { file, directory, symlink, hardlink, fifo, characterDevice };
    QString path;
    Type type = Type::file;
    QByteArray content;
    QString linkTarget;
    int mode = 0644;
};
// Every file, folder and link below root, named as prefix + its path below root.
QList<Entry> entriesOf(const QString& root, const QString& prefix);

enum class Format { tarXz, tarGz, zip };
void writeArchive(const QString& archivePath, const QList<Entry>& entries, Format format);

// The tree below root as path -> type, mode and content or link target; two equal
// snapshots mean byte-for-byte the same tree.
QMap<QString, QByteArray> snapshot(const QString& root);

} // namespace UpdateTest
