#include "UserDataStore.h"

#include "DemoSession.h"
#include "PeerLog.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace {

// The whole document must be one JSON object; the application decodes its keys.
std::optional<QByteArray> compactObject(const QByteArray& json, const QString& origin, QString* failure)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        *failure = QStringLiteral("%1 is not JSON (%2 at offset %3)")
                       .arg(origin, error.errorString())
                       .arg(error.offset);
        return std::nullopt;
    }
    if (!document.isObject()) {
        *failure = QStringLiteral("%1 does not hold a JSON object").arg(origin);
        return std::nullopt;
    }
    QStringList missing;
    for (const QString& key : UserDataStore::sessionKeys) {
        if (!document.object().contains(key))
            missing.append(key);
    }
    // Sent all the same: how the application copes with partial data is its own business.
    if (!missing.isEmpty())
        peerLog(QStringLiteral("User data from %1 lacks %2").arg(origin, missing.join(QStringLiteral(", "))));
    return document.toJson(QJsonDocument::Compact);
}

} // namespace

const QStringList UserDataStore::sessionKeys{
    QStringLiteral("authToken"),
    QStringLiteral("userEmail"),
    QStringLiteral("userConfig"),
    QStringLiteral("lastSyncTime"),
    QStringLiteral("isLastSyncFailed"),
    QStringLiteral("bypassesUsed"),
    QStringLiteral("relaxedPolicyEnabledTime"),
    QStringLiteral("lastRelaxedPolicyUsedTime"),
};

void UserDataStore::useDemoSession()
{
    std::lock_guard lock(m_mutex);
    m_source = Source::demo;
    m_path.clear();
    m_json.clear();
}

void UserDataStore::useFile(const QString& path)
{
    std::lock_guard lock(m_mutex);
    m_source = Source::file;
    m_path = path;
    m_json.clear();
}

void UserDataStore::useJson(const QByteArray& json)
{
    std::lock_guard lock(m_mutex);
    m_source = Source::json;
    m_path.clear();
    m_json = json;
}

std::optional<QByteArray> UserDataStore::sessionJson(QString* failure) const
{
    Source source;
    QString path;
    QByteArray json;
    {
        std::lock_guard lock(m_mutex);
        source = m_source;
        path = m_path;
        json = m_json;
    }
    QString reason;
    std::optional<QByteArray> result;
    switch (source) {
    case Source::demo:
        return QJsonDocument(DemoSession::session()).toJson(QJsonDocument::Compact);
    case Source::json:
        result = compactObject(json, QStringLiteral("the user data set over the control channel"), &reason);
        break;
    case Source::file: {
        QFile file(path);
        if (!file.exists()) {
            peerLog(QStringLiteral("User data file %1 does not exist; answering with the demo session")
                        .arg(path));
            return QJsonDocument(DemoSession::session()).toJson(QJsonDocument::Compact);
        }
        if (file.size() > maximumFileSize) {
            reason = QStringLiteral("the user data file %1 is larger than %2 bytes")
                         .arg(path)
                         .arg(maximumFileSize);
            break;
        }
        if (!file.open(QIODevice::ReadOnly)) {
            reason = QStringLiteral("cannot read the user data file %1: %2").arg(path, file.errorString());
            break;
        }
        result = compactObject(file.readAll(), QStringLiteral("the user data file ") + path, &reason);
        break;
    }
    }
    if (!result) {
        peerLog(QStringLiteral("No user data to send: ") + reason);
        if (failure)
            *failure = reason;
    }
    return result;
}

QString UserDataStore::description() const
{
    std::lock_guard lock(m_mutex);
    switch (m_source) {
    case Source::demo:
        return QStringLiteral("demo session");
    case Source::file:
        return QStringLiteral("file ") + m_path;
    case Source::json:
        return QStringLiteral("JSON set over the control channel");
    }
    return {};
}
