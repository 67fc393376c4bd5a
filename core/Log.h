#pragma once

#include <QString>

#include <cstdint>
#include <mutex>

// The program's rotating text log. One write appends one time-stamped line to
// <directory>/<name>-0.log, echoes it to standard output and the system log, and shifts
// the numbered files up when file 0 has reached maxFileSize KiB.
class Log
{
public:
    Log(std::uint64_t maxFileSize, int maxFileCount, QString directory, QString name, bool printToConsole);

    static Log& shared();
    // Where the default log directory is: the Library folder's "Logs".
    static QString defaultDirectory();

    std::uint64_t maxFileSize() const;
    void setMaxFileSize(std::uint64_t kibibytes);
    int maxFileCount() const;
    void setMaxFileCount(int count);
    QString directory() const;
    void setDirectory(const QString& directory);
    QString currentFilePath() const;
    QString name() const;
    void setName(const QString& name);
    bool printToConsole() const;
    void setPrintToConsole(bool print);

    void write(const QString& message);

private:
    QString filePath(int index) const;
    void rotateIfNeeded();
    void shiftFile(int index);

    // One lock serialises writes, rotation and changes of the fields, so that lines from
    // different threads arrive whole and no rotation runs during an append.
    mutable std::recursive_mutex m_mutex;
    std::uint64_t m_maxFileSize;
    int m_maxFileCount;
    QString m_directory;
    QString m_name;
    bool m_printToConsole;
};

// Shorthand for Log::shared().write(message).
void log(const QString& message);
