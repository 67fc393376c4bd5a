#include "NssDatabaseTool.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSslCertificate>

namespace NssDatabaseTool {

QString directory()
{
    return qEnvironmentVariable("HOME") + QStringLiteral("/.pki/nssdb");
}

int run(const QStringList& arguments, QString* output)
{
    QProcess certutil;
    certutil.setProcessChannelMode(QProcess::MergedChannels);
    certutil.setStandardInputFile(QProcess::nullDevice());
    certutil.start(QStringLiteral("certutil"), QStringList{QStringLiteral("-d"), QStringLiteral("sql:") + directory()} + arguments);
    if (!certutil.waitForFinished(60000) || certutil.exitStatus() != QProcess::NormalExit)
        return -1;
    if (output)
        *output = QString::fromUtf8(certutil.readAll());
    return certutil.exitCode();
}

std::optional<QMap<QString, QString>> list()
{
    QString output;
    if (run({QStringLiteral("-L")}, &output) != 0)
        return std::nullopt;
    // After the two heading lines: the nickname, blanks, the trust attributes (blank-padded).
    static const QRegularExpression row(QStringLiteral("^(\\S.*\\S)\\s+(\\S*,\\S*,\\S*)\\s*$"));
    QMap<QString, QString> entries;
    for (const QString& line : output.split(QLatin1Char('\n'))) {
        const auto match = row.match(line);
        if (match.hasMatch())
            entries.insert(match.captured(1), match.captured(2));
    }
    return entries;
}

QList<QByteArray> certificates(const QString& nickname)
{
    QString output;
    if (run({QStringLiteral("-L"), QStringLiteral("-n"), nickname, QStringLiteral("-a")}, &output) != 0)
        return {};
    QList<QByteArray> ders;
    for (const QSslCertificate& certificate : QSslCertificate::fromData(output.toUtf8(), QSsl::Pem))
        ders << certificate.toDer();
    return ders;
}

} // namespace NssDatabaseTool
