#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <mutex>
#include <optional>

// Where the answer to the application's user-data request comes from: a file in the
// session's JSON form (read again at every request, so a test may rewrite it), a JSON text
// set over the control channel, or the built-in demo session. Any thread.
class UserDataStore
{
public:
    // The eight keys the application's session decoder requires.
    static const QStringList sessionKeys;
    // Far below the link's frame limit; no session comes near it.
    static constexpr qint64 maximumFileSize = 4 * 1024 * 1024;

    void useDemoSession();
    // A file that does not exist answers with the demo session.
    void useFile(const QString& path);
    void useJson(const QByteArray& json);

    // The session JSON to send, compact; nullopt when the file cannot be read or does not
    // hold a JSON object, with the reason in *failure and in the log. The application then
    // keeps the data it has.
    std::optional<QByteArray> sessionJson(QString* failure = nullptr) const;
    // "demo session", "file <path>" or "JSON set over the control channel".
    QString description() const;

private:
    enum class Source
    {
        demo,
        file,
        json,
    };
    mutable std::mutex m_mutex;
    Source m_source = Source::demo;
    QString m_path;
    QByteArray m_json;
};
