#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

class ManagementServerPeer;

// A signed update of the built bundle, made with scripts/make-update.py and the test key.
struct SignedUpdate
{
    QString archive;
    qint64 length = 0;
    QString signature;
    QString version;
    QString shortVersion;

    // Makes one in <test root>/update; nothing (and a test failure) when the script fails.
    static std::optional<SignedUpdate> make(const QString& version, const QString& shortVersion,
                                            const QString& format = QStringLiteral("tar.gz"));
    QString fileName() const;
    // Serves the archive from the peer and returns the feed item that offers it.
    QJsonObject serveFrom(ManagementServerPeer& server, const QString& channel) const;
    QJsonObject feedItem(const ManagementServerPeer& server, const QString& channel) const;
};

// The built bundle copied to <test root>/Applications/Norvane.app; its path.
QString installBundleCopy();
