#include "SignedUpdate.h"

#include "ManagementServerPeer.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

std::optional<SignedUpdate> SignedUpdate::make(const QString& version, const QString& shortVersion,
                                               const QString& format)
{
    QProcess make;
    make.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral(NORVANE_SOURCE_DIR "/scripts/make-update.py"), QStringLiteral("--bundle"),
                QStringLiteral(NORVANE_TEST_BUNDLE_DIR), QStringLiteral("--version"), version,
                QStringLiteral("--short-version"), shortVersion, QStringLiteral("--key"),
                QStringLiteral(NORVANE_TEST_UPDATE_KEY), QStringLiteral("--format"), format, QStringLiteral("--out"),
                TestEnvironment::root() + QStringLiteral("/update")});
    if (!make.waitForFinished(240000) || make.exitStatus() != QProcess::NormalExit || make.exitCode() != 0) {
        ADD_FAILURE() << "make-update.py failed: " << make.readAllStandardError().toStdString();
        return std::nullopt;
    }
    SignedUpdate update;
    update.version = version;
    update.shortVersion = shortVersion;
    for (const QString& line : QString::fromUtf8(make.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const QString value = line.section(QStringLiteral(": "), 1);
        if (line.startsWith(QStringLiteral("archive: ")))
            update.archive = value;
        else if (line.startsWith(QStringLiteral("length: ")))
            update.length = value.toLongLong();
        else if (line.startsWith(QStringLiteral("signature: ")))
            update.signature = value;
    }
    if (update.archive.isEmpty() || update.length <= 0 || update.signature.isEmpty()) {
        ADD_FAILURE() << "make-update.py printed no archive";
        return std::nullopt;
    }
    return update;
}

QString SignedUpdate::fileName() const
{
    return QFileInfo(archive).fileName();
}

QJsonObject SignedUpdate::serveFrom(ManagementServerPeer& server, const QString& channel) const
{
    EXPECT_TRUE(server.serveUpdateFile(fileName(), archive));
    return feedItem(server, channel);
}

QJsonObject SignedUpdate::feedItem(const ManagementServerPeer& server, const QString& channel) const
{
    return QJsonObject{
        {QStringLiteral("title"), QStringLiteral("Version ") + shortVersion},
        {QStringLiteral("version"), version},
        {QStringLiteral("shortVersion"), shortVersion},
        {QStringLiteral("description"), QStringLiteral("<h2>Norvane %1</h2><ul><li>Faster sign-in</li></ul>").arg(shortVersion)},
        {QStringLiteral("enclosure"),
         QJsonObject{{QStringLiteral("url"), server.url(ManagementServerPeer::updateFilePath(fileName()))},
                     {QStringLiteral("length"), QString::number(length)},
                     {QStringLiteral("type"), QStringLiteral("application/octet-stream")},
                     {QStringLiteral("sparkle:edSignature"), signature},
                     {QStringLiteral("channel"), channel}}},
    };
}

QString installBundleCopy()
{
    const QString folder = TestEnvironment::root() + QStringLiteral("/Applications");
    QDir().mkpath(folder);
    const QString copy = folder + QStringLiteral("/Norvane.app");
    QProcess cp;
    cp.start(QStringLiteral("cp"), {QStringLiteral("-a"), QStringLiteral(NORVANE_TEST_BUNDLE_DIR), copy});
    EXPECT_TRUE(cp.waitForFinished(60000) && cp.exitStatus() == QProcess::NormalExit && cp.exitCode() == 0);
    return copy;
}
