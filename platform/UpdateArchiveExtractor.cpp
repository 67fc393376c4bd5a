#include "platform/UpdateArchiveExtractor.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace {

using ReadArchive = std::unique_ptr<archive, decltype(&archive_read_free)>;
using WriteArchive = std::unique_ptr<archive, decltype(&archive_write_free)>;

// A relative path's components with "." dropped; nothing when it is absolute or climbs
// with "..".
std::optional<QStringList> safeComponents(const QString& path)
{
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')))
        return std::nullopt;
    QStringList components;
    for (const QString& component : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (component == QLatin1String(".."))
            return std::nullopt;
        if (component != QLatin1String("."))
            components.append(component);
    }
    return components;
}

// Whether a link at linkComponents pointing at target stays inside the root, judged by
// its text alone.
bool linkTargetInside(const QStringList& linkComponents, const QString& target)
{
    if (target.isEmpty() || target.startsWith(QLatin1Char('/')))
        return false;
    QStringList resolved = linkComponents.mid(0, linkComponents.size() - 1);
    for (const QString& component : target.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (component == QLatin1String("..")) {
            if (resolved.isEmpty())
                return false;
            resolved.removeLast();
        } else if (component != QLatin1String(".")) {
            resolved.append(component);
        }
    }
    return true;
}

QString archiveError(archive* handle)
{
    const char* text = archive_error_string(handle);
    return text ? QString::fromLocal8Bit(text) : QStringLiteral("unknown error");
}

// Links may pass each one's own check and still lead out together ("a" -> ".", "b" ->
// "a/.."); what they resolve to on disk decides.
QString linkLeavingRoot(const QString& root)
{
    QDirIterator it(root, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QString prefix = root + QLatin1Char('/');
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (!info.isSymLink())
            continue;
        const QString resolved = info.canonicalFilePath();
        if (resolved.isEmpty())
            continue; // dangling: leads nowhere
        if (resolved != root && !resolved.startsWith(prefix))
            return info.filePath().mid(prefix.size());
    }
    return {};
}

} // namespace

namespace UpdateArchiveExtractor {

QString entryProblem(const QString& path, const QString& symlinkTarget, const QString& hardlinkTarget)
{
    const std::optional<QStringList> components = safeComponents(path);
    if (!components)
        return QStringLiteral("the entry “%1” has an absolute path or a “..” component").arg(path);
    if (!symlinkTarget.isEmpty() && !linkTargetInside(*components, symlinkTarget))
        return QStringLiteral("the link “%1” points outside the archive (to “%2”)").arg(path, symlinkTarget);
    if (!hardlinkTarget.isEmpty() && !safeComponents(hardlinkTarget))
        return QStringLiteral("the hard link “%1” points outside the archive (to “%2”)").arg(path, hardlinkTarget);
    return {};
}

bool extract(const QString& archivePath, const QString& stagingDirectory, const std::function<void(double)>& progress,
             const std::atomic<bool>& cancelled, QString* errorText, qint64 unpackedLimit)
{
    const QString root = QFileInfo(stagingDirectory).canonicalFilePath();
    const auto fail = [&](const QString& text) {
        if (errorText)
            *errorText = text;
        if (!root.isEmpty()) {
            QDir(root).removeRecursively();
            QDir().mkpath(root);
        }
        return false;
    };
    if (root.isEmpty() || !QDir(root).isEmpty())
        return fail(QStringLiteral("The staging folder %1 is missing or not empty.").arg(stagingDirectory));

    ReadArchive reader(archive_read_new(), &archive_read_free);
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_filter_xz(reader.get());
    archive_read_support_format_tar(reader.get());
    archive_read_support_format_zip(reader.get());
    if (archive_read_open_filename(reader.get(), QFile::encodeName(archivePath).constData(), 64 * 1024) != ARCHIVE_OK)
        return fail(QStringLiteral("The archive cannot be opened: %1").arg(archiveError(reader.get())));

    // Paths are made absolute below the staging folder: the writer resolves relative ones
    // against the process's working folder. It still refuses ".." and writing through links.
    WriteArchive writer(archive_write_disk_new(), &archive_write_free);
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_TIME |
                                                     ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                     ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_UNLINK);

    const qint64 archiveSize = QFileInfo(archivePath).size();
    int reportedPercent = -1;
    qint64 unpacked = 0;
    const auto tooLarge = [&] {
        return QStringLiteral("The archive is refused: it unpacks to more than %1 MB.").arg(unpackedLimit >> 20);
    };
    archive_entry* entry = nullptr;
    bool sawEntry = false;
    for (;;) {
        if (cancelled)
            return fail(QStringLiteral("Unpacking was cancelled."));
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status < ARCHIVE_WARN)
            return fail(QStringLiteral("The archive is damaged: %1").arg(archiveError(reader.get())));
        sawEntry = true;

        const char* rawPath = archive_entry_pathname(entry);
        const char* rawSymlink = archive_entry_symlink(entry);
        const char* rawHardlink = archive_entry_hardlink(entry);
        if (!rawPath)
            return fail(QStringLiteral("The archive has an entry without a readable name."));
        const QString path = QFile::decodeName(rawPath);
        const QString symlink = rawSymlink ? QFile::decodeName(rawSymlink) : QString();
        const QString hardlink = rawHardlink ? QFile::decodeName(rawHardlink) : QString();
        const mode_t type = archive_entry_filetype(entry);
        if (!hardlink.isEmpty() || type == AE_IFREG || type == AE_IFDIR || type == AE_IFLNK) {
            if (type == AE_IFLNK && symlink.isEmpty())
                return fail(QStringLiteral("The archive is refused: the link “%1” has no target.").arg(path));
        } else {
            return fail(QStringLiteral("The archive is refused: “%1” is a device, pipe or socket.").arg(path));
        }
        if (const QString problem = entryProblem(path, symlink, hardlink); !problem.isEmpty())
            return fail(QStringLiteral("The archive is refused: %1.").arg(problem));

        if (!hardlink.isEmpty()) {
            // The target must be something unpacked already, not reached through a link.
            const QString target = QFileInfo(root + QLatin1Char('/') + hardlink).canonicalFilePath();
            if (target.isEmpty() || !target.startsWith(root + QLatin1Char('/')))
                return fail(QStringLiteral("The archive is refused: the hard link “%1” points outside the archive.")
                                .arg(path));
        }
        archive_entry_set_pathname(entry, QFile::encodeName(root + QLatin1Char('/') + path).constData());
        if (!hardlink.isEmpty())
            archive_entry_set_hardlink(entry, QFile::encodeName(root + QLatin1Char('/') + hardlink).constData());
        // No set-id bits from a download, and the owner can always clean up.
        const mode_t permissions = archive_entry_perm(entry) & 0777;
        archive_entry_set_perm(entry, permissions | (type == AE_IFDIR ? 0700 : 0600));
        archive_entry_set_uid(entry, 0);
        archive_entry_set_gid(entry, 0);

        // Sizes in headers can lie (zip streams carry none): what is written is counted too.
        if (archive_entry_size(entry) > unpackedLimit - unpacked)
            return fail(tooLarge());
        if (archive_write_header(writer.get(), entry) < ARCHIVE_WARN)
            return fail(QStringLiteral("“%1” cannot be unpacked: %2").arg(path, archiveError(writer.get())));
        if (archive_entry_size(entry) > 0 && hardlink.isEmpty()) {
            const void* block = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            for (;;) {
                if (cancelled)
                    return fail(QStringLiteral("Unpacking was cancelled."));
                const int read = archive_read_data_block(reader.get(), &block, &size, &offset);
                if (read == ARCHIVE_EOF)
                    break;
                if (read < ARCHIVE_WARN)
                    return fail(QStringLiteral("The archive is damaged: %1").arg(archiveError(reader.get())));
                // Sparse blocks sit at their offset: the file reaches its end, not just the sum.
                unpacked += qint64(size);
                if (unpacked > unpackedLimit || offset + qint64(size) > unpackedLimit)
                    return fail(tooLarge());
                if (archive_write_data_block(writer.get(), block, size, offset) < ARCHIVE_WARN)
                    return fail(QStringLiteral("“%1” cannot be unpacked: %2").arg(path, archiveError(writer.get())));
                if (progress && archiveSize > 0) {
                    const int percent = int(100 * archive_filter_bytes(reader.get(), -1) / archiveSize);
                    if (percent > reportedPercent) {
                        reportedPercent = percent;
                        progress(std::min(percent, 100) / 100.0);
                    }
                }
            }
        }
        if (archive_write_finish_entry(writer.get()) < ARCHIVE_WARN)
            return fail(QStringLiteral("“%1” cannot be unpacked: %2").arg(path, archiveError(writer.get())));
    }
    if (!sawEntry)
        return fail(QStringLiteral("The archive is empty."));
    // Directory modes and times are set here.
    if (archive_write_close(writer.get()) != ARCHIVE_OK)
        return fail(QStringLiteral("The archive cannot be unpacked: %1").arg(archiveError(writer.get())));
    if (const QString escaping = linkLeavingRoot(root); !escaping.isEmpty())
        return fail(QStringLiteral("The archive is refused: the link “%1” leads outside the archive.").arg(escaping));
    if (progress)
        progress(1.0);
    return true;
}

} // namespace UpdateArchiveExtractor
