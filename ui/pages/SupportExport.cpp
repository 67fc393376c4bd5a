#include "ui/pages/SupportExport.h"

#include "platform/Paths.h"
#include "platform/Workspace.h"

#include <QDir>
#include <QFile>
#include <QUrl>

namespace {

std::optional<SupportExport::ExportFile> createAt(const QString& path)
{
    QFile::remove(path);
    auto handle = std::make_shared<FileHandle>(FileHandle::openForWriting(path));
    if (!handle->isValid())
        return SupportExport::ExportFile{path, nullptr};
    return SupportExport::ExportFile{path, std::move(handle)};
}

} // namespace

namespace SupportExport {

std::optional<QString> downloadsSubdirectory(const QString& name)
{
    const QString path = Paths::downloadsDirectory() + QLatin1Char('/') + name;
    if (!QDir().mkpath(path))
        return std::nullopt;
    return path;
}

QString exportFileName(const QString& name, const QDate& date)
{
    return name + QLatin1Char('_') + date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".txt");
}

std::optional<ExportFile> createExportFile(const QString& name)
{
    const std::optional<QString> folder = downloadsSubdirectory(QLatin1String(logFolder));
    if (!folder)
        return std::nullopt;
    return createAt(*folder + QLatin1Char('/') + exportFileName(name, QDate::currentDate()));
}

std::optional<ExportFile> createCertificateExportFile()
{
    const std::optional<QString> folder = downloadsSubdirectory(QLatin1String(certificateFolder));
    if (!folder)
        return std::nullopt;
    return createAt(*folder + QLatin1Char('/') + QLatin1String(certificateFileName));
}

void revealOrRemoveExportedFile(bool sent, const QString& path)
{
    if (sent)
        Workspace::shared().activateFileViewerSelectingURLs({QUrl::fromLocalFile(path)});
    else
        QFile::remove(path);
}

} // namespace SupportExport
