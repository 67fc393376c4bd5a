#include "platform/JsonFile.h"

#include "platform/Paths.h"

#include "platform/Diagnostics.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

namespace JsonFile {

ReadResult read(const QString& filePath, const QString& owner)
{
    ReadResult result;
    QFile file(filePath);
    if (!file.exists())
        return result;
    if (!file.open(QIODevice::ReadOnly)) {
        result.status = ReadResult::Status::unreadable;
        result.errorText = file.errorString();
        Diagnostics::report(QStringLiteral("%1: cannot read %2: %3").arg(owner, filePath, result.errorText));
        return result;
    }
    const QByteArray content = file.readAll();
    file.close();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(content, &error);
    if (error.error == QJsonParseError::NoError && document.isObject()) {
        result.status = ReadResult::Status::loaded;
        result.object = document.object();
        return result;
    }
    // Keep the damaged file for inspection; the caller starts from an empty record.
    const QString aside =
        filePath + QStringLiteral(".corrupt-") + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddhhmmsszzz"));
    const bool moved = QFile::rename(filePath, aside);
    Diagnostics::report(QStringLiteral("%1: %2 is corrupt (%3); %4")
                            .arg(owner, filePath,
                                 error.error == QJsonParseError::NoError ? QStringLiteral("not an object") : error.errorString(),
                                 moved ? QStringLiteral("moved aside to ") + aside : QStringLiteral("could not move it aside")));
    result.status = ReadResult::Status::corrupt;
    return result;
}

bool write(const QString& filePath, const QJsonObject& object, const QString& owner, QString* errorText)
{
    const auto fail = [&](const QString& text) {
        Diagnostics::report(QStringLiteral("%1: cannot write %2: %3").arg(owner, filePath, text));
        if (errorText)
            *errorText = text;
        return false;
    };
    const QString dir = QFileInfo(filePath).absolutePath();
    if (!Paths::makePrivateDirectory(dir))
        return fail(QStringLiteral("cannot create ") + dir);
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(QJsonDocument(object).toJson(QJsonDocument::Indented));
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

} // namespace JsonFile
