#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

// Owns one open file descriptor and closes it when it goes. Moving hands the descriptor
// on; a second owner needs its own descriptor, made with duplicate(). This is what a
// message carries across the interprocess link (the transport passes the descriptor itself).
class FileHandle
{
public:
    FileHandle() noexcept = default;
    // Takes ownership of descriptor (a negative one makes an invalid handle).
    explicit FileHandle(int descriptor) noexcept;
    ~FileHandle();

    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // A new handle on a duplicate of descriptor (close-on-exec); invalid when that fails.
    static FileHandle duplicate(int descriptor);
    // An existing file opened read-only; invalid when it cannot be opened.
    static FileHandle openForReading(const QString& path);
    // A file opened write-only, created when missing and emptied when present.
    static FileHandle openForWriting(const QString& path);

    bool isValid() const noexcept { return m_descriptor >= 0; }
    int fileDescriptor() const noexcept { return m_descriptor; }
    FileHandle duplicate() const { return duplicate(m_descriptor); }

    // Gives the descriptor up without closing it; the handle becomes invalid.
    int release() noexcept;
    void close() noexcept;

    // Everything from the current offset to the end. Empty when reading fails; ok (when
    // given) tells that apart from an empty file.
    QByteArray readToEnd(bool* ok = nullptr) const;
    // The same with bounds, for handles from another process: gives up when more than limit
    // bytes come, or when the end has not come within timeout (a pipe whose writer stays
    // open). nullopt then, or when reading fails, with the reason in *failure.
    std::optional<QByteArray> readToEnd(qsizetype limit, std::chrono::milliseconds timeout, QString* failure) const;
    // Writes all of bytes at the current offset; false when the file refused some of them.
    bool write(const QByteArray& bytes) const;

private:
    int m_descriptor = -1;
};

// How messages share a handle: the file stays open as long as any holder keeps it.
using SharedFileHandle = std::shared_ptr<const FileHandle>;
