#pragma once

#include <QString>

#include <atomic>
#include <functional>

// Unpacks an update archive (tar.xz, tar.gz or zip) with libarchive into an empty staging
// folder. The whole archive is refused, and what was unpacked of it removed, when any entry
// has an absolute path or a ".." component, is a device node, pipe or socket, or is a
// link that points outside the staging folder (also through other links). Modes keep their
// permission bits without set-id bits; owners are not restored.
namespace UpdateArchiveExtractor {
// More than this unpacked is no application bundle: it is refused before it fills the disk.
inline constexpr qint64 defaultUnpackedLimit = qint64(4) << 30;

// progress gets 0.0 to 1.0 (share of the archive read), at most about a hundred times.
// The archive is refused once its entries' contents pass unpackedLimit bytes.
bool extract(const QString& archivePath, const QString& stagingDirectory,
             const std::function<void(double)>& progress, const std::atomic<bool>& cancelled,
             QString* errorText = nullptr, qint64 unpackedLimit = defaultUnpackedLimit);

// The problem with one entry's name and link target, or "" when it may be unpacked.
// Exposed for tests.
QString entryProblem(const QString& path, const QString& symlinkTarget, const QString& hardlinkTarget);
} // namespace UpdateArchiveExtractor
