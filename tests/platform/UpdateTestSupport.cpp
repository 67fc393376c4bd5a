#include "UpdateTestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace UpdateTest {

KeyPair makeKeyPair()
{
    KeyPair pair;
    EVP_PKEY* key = nullptr;
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr);
    EXPECT_EQ(EVP_PKEY_keygen_init(context), 1);
    EXPECT_EQ(EVP_PKEY_keygen(context, &key), 1);
    EVP_PKEY_CTX_free(context);
    size_t length = 32;
    pair.privateKey.resize(32);
    pair.publicKey.resize(32);
    EVP_PKEY_get_raw_private_key(key, reinterpret_cast<unsigned char*>(pair.privateKey.data()), &length);
    length = 32;
    EVP_PKEY_get_raw_public_key(key, reinterpret_cast<unsigned char*>(pair.publicKey.data()), &length);
    EVP_PKEY_free(key);
    return pair;
}

QString signFile(const KeyPair& pair, const QString& filePath)
{
    QFile file(filePath);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray message = file.readAll();
    EVP_PKEY* key = EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr,
                                                 reinterpret_cast<const unsigned char*>(pair.privateKey.constData()), 32);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestSignInit(context, nullptr, nullptr, nullptr, key);
    QByteArray signature(64, '\0');
    size_t length = 64;
    EXPECT_EQ(EVP_DigestSign(context, reinterpret_cast<unsigned char*>(signature.data()), &length,
                             reinterpret_cast<const unsigned char*>(message.constData()), size_t(message.size())),
              1);
    EVP_MD_CTX_free(context);
    EVP_PKEY_free(key);
    return QString::fromLatin1(signature.toBase64());
}

void writeBundle(const QString& bundlePath, const QString& version, const std::optional<QString>& publicKey,
                 const QString& identifier)
{
    QDir().mkpath(bundlePath + QStringLiteral("/Contents/MacOS"));
    QDir().mkpath(bundlePath + QStringLiteral("/Contents/Resources"));
    QString body = QStringLiteral("<key>CFBundleIdentifier</key><string>%1</string>\n"
                                  "<key>CFBundleExecutable</key><string>Norvane</string>\n"
                                  "<key>CFBundleShortVersionString</key><string>%2</string>\n"
                                  "<key>CFBundleVersion</key><string>%2</string>\n")
                       .arg(identifier, version);
    if (publicKey)
        body += QStringLiteral("<key>SUPublicEDKey</key><string>%1</string>\n").arg(*publicKey);
    QFile plist(bundlePath + QStringLiteral("/Contents/Info.plist"));
    ASSERT_TRUE(plist.open(QIODevice::WriteOnly | QIODevice::Truncate));
    plist.write((QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>\n") + body +
                 QStringLiteral("</dict></plist>\n"))
                    .toUtf8());
    plist.close();
    QFile executable(bundlePath + QStringLiteral("/Contents/MacOS/Norvane"));
    ASSERT_TRUE(executable.open(QIODevice::WriteOnly | QIODevice::Truncate));
    executable.write("#!/bin/sh\necho " + version.toUtf8() + "\n");
    executable.close();
    executable.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                              QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    QFile resource(bundlePath + QStringLiteral("/Contents/Resources/version.txt"));
    ASSERT_TRUE(resource.open(QIODevice::WriteOnly | QIODevice::Truncate));
    resource.write(version.toUtf8());
}

QList<Entry> entriesOf(const QString& root, const QString& prefix)
{
    QList<Entry> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        Entry entry;
        entry.path = prefix + info.filePath().mid(root.size());
        struct stat status {};
        lstat(QFile::encodeName(info.filePath()).constData(), &status);
        entry.mode = int(status.st_mode & 07777);
        if (info.isSymLink()) {
            entry.type = Entry::Type::symlink;
            char target[4096];
            const ssize_t n = readlink(QFile::encodeName(info.filePath()).constData(), target, sizeof target);
            entry.linkTarget = QFile::decodeName(QByteArray(target, int(n)));
        } else if (info.isDir()) {
            entry.type = Entry::Type::directory;
        } else {
            QFile file(info.filePath());
            EXPECT_TRUE(file.open(QIODevice::ReadOnly));
            entry.content = file.readAll();
        }
        entries.append(entry);
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.path < b.path; });
    return entries;
}

void writeArchive(const QString& archivePath, const QList<Entry>& entries, Format format)
{
    std::unique_ptr<archive, decltype(&archive_write_free)> writer(archive_write_new(), &archive_write_free);
    switch (format) {
    case Format::tarXz:
        archive_write_set_format_pax_restricted(writer.get());
        archive_write_add_filter_xz(writer.get());
        break;
    case Format::tarGz:
        archive_write_set_format_pax_restricted(writer.get());
        archive_write_add_filter_gzip(writer.get());
        break;
    case Format::zip:
        archive_write_set_format_zip(writer.get());
        break;
    }
    ASSERT_EQ(archive_write_open_filename(writer.get(), QFile::encodeName(archivePath).constData()), ARCHIVE_OK);
    for (const Entry& item : entries) {
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(), &archive_entry_free);
        archive_entry_set_pathname(entry.get(), QFile::encodeName(item.path).constData());
        archive_entry_set_perm(entry.get(), mode_t(item.mode));
        archive_entry_set_mtime(entry.get(), 1'700'000'000, 0);
        switch (item.type) {
        case Entry::Type::file:
            archive_entry_set_filetype(entry.get(), AE_IFREG);
            archive_entry_set_size(entry.get(), item.content.size());
            break;
        case Entry::Type::directory:
            archive_entry_set_filetype(entry.get(), AE_IFDIR);
            break;
        case Entry::Type::symlink:
            archive_entry_set_filetype(entry.get(), AE_IFLNK);
            archive_entry_set_symlink(entry.get(), QFile::encodeName(item.linkTarget).constData());
            break;
        case Entry::Type::hardlink:
            archive_entry_set_filetype(entry.get(), AE_IFREG);
            archive_entry_set_hardlink(entry.get(), QFile::encodeName(item.linkTarget).constData());
            break;
        case Entry::Type::fifo:
            archive_entry_set_filetype(entry.get(), AE_IFIFO);
            break;
        case Entry::Type::characterDevice:
            archive_entry_set_filetype(entry.get(), AE_IFCHR);
            archive_entry_set_rdev(entry.get(), makedev(1, 3));
            break;
        }
        ASSERT_EQ(archive_write_header(writer.get(), entry.get()), ARCHIVE_OK) << archive_error_string(writer.get());
        if (item.type == Entry::Type::file && !item.content.isEmpty())
            archive_write_data(writer.get(), item.content.constData(), size_t(item.content.size()));
    }
    ASSERT_EQ(archive_write_close(writer.get()), ARCHIVE_OK);
}

QMap<QString, QByteArray> snapshot(const QString& root)
{
    QMap<QString, QByteArray> tree;
    for (const Entry& entry : entriesOf(root, QString())) {
        tree.insert(entry.path, QByteArray::number(int(entry.type)) + ' ' + QByteArray::number(entry.mode, 8) + ' ' +
                                    entry.content + entry.linkTarget.toUtf8());
    }
    return tree;
}

} // namespace UpdateTest
