#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QString>
#include <QStringList>

// The sites each account added to its own blocklist on the management-server stand-in,
// kept in a file both stand-ins read: the filter-extension stand-in adds them to the demo
// session's list, as the real extension gets the new policy from the server once the
// application asks it to sync. One JSON object, token -> list of sites, under the state
// folder ($XDG_STATE_HOME) both stand-ins are started with. Header-only: the two stand-ins
// share nothing else.
namespace SelfModerationFile {

inline QString path()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty())
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/norvane-peers/self-moderation.json");
}

inline QJsonObject read()
{
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

// The sites added for a token, oldest first.
inline QStringList sitesFor(const QString& token)
{
    QStringList sites;
    for (const QJsonValue& site : read().value(token).toArray())
        if (site.isString())
            sites.append(site.toString());
    return sites;
}

inline bool write(const QJsonObject& sites)
{
    if (!QDir().mkpath(QFileInfo(path()).absolutePath()))
        return false;
    QSaveFile file(path());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(sites).toJson(QJsonDocument::Compact));
    return file.commit();
}

// Appends the site for the token unless it is there already. Not safe against a second
// writer; the management-server stand-in calls it under its own lock.
inline bool add(const QString& token, const QString& site)
{
    QJsonObject all = read();
    QJsonArray sites = all.value(token).toArray();
    if (sites.contains(site))
        return true;
    sites.append(site);
    all.insert(token, sites);
    return write(all);
}

inline void clear()
{
    QFile::remove(path());
}

} // namespace SelfModerationFile
