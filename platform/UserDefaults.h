#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <mutex>
#include <optional>

// The user's defaults: typed values (text, data, boolean, integer) kept in one JSON file,
// rewritten atomically with mode 0600 on every change. Any thread may read and write.
// A file that does not parse is moved aside and the store starts empty.
class UserDefaults
{
public:
    explicit UserDefaults(QString filePath);

    // The store of this user: $XDG_CONFIG_HOME/norvane/user-defaults.json.
    static UserDefaults& standard();

    QString filePath() const { return m_filePath; }

    bool contains(const QString& key) const;
    std::optional<QString> string(const QString& key) const;   // absent, or not a text
    std::optional<QByteArray> data(const QString& key) const;  // absent, or not data
    std::optional<bool> boolean(const QString& key) const;     // absent, or not a boolean
    std::optional<qint64> integer(const QString& key) const;   // absent, or not an integer

    void setString(const QString& key, const QString& value);
    void setData(const QString& key, const QByteArray& value);
    void setBool(const QString& key, bool value);
    void setInteger(const QString& key, qint64 value);
    void remove(const QString& key);
    void clear();

    // Reads the file again (another process may have written it).
    void reload();

private:
    void loadLocked();
    void set(const QString& key, const QJsonValue& value);
    // Writes the values of one change; a newer change already written wins.
    void save(const QJsonObject& values, quint64 change);

    QString m_filePath;
    // m_mutex guards the values, m_writeMutex the file; never held together. Readers take
    // only m_mutex, so they never wait for a write to reach the disk.
    mutable std::mutex m_mutex;
    QJsonObject m_values;
    quint64 m_changes = 0;
    std::mutex m_writeMutex;
    quint64 m_written = 0;
};
