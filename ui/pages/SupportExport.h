#pragma once

#include "platform/FileHandle.h"

#include <QDate>
#include <QString>

#include <optional>

// The files the help page exports for a support case, in the user's Downloads folder:
// log copies in "nvlog" named "<kind>_<yyyy-MM-dd>.txt" and the root certificate in
// "nvcert". Main thread only.
namespace SupportExport {

struct ExportFile
{
    QString path;
    // Open for writing; null when the file could not be opened.
    SharedFileHandle handle;
};

inline constexpr const char* logFolder = "nvlog";
inline constexpr const char* certificateFolder = "nvcert";
inline constexpr const char* certificateFileName = "Norvane Filtering Certificate.cer";

// Downloads/<name>, made with its parents when missing; nullopt when it cannot be made.
std::optional<QString> downloadsSubdirectory(const QString& name);
// "<name>_<date>.txt" for the date, formatted yyyy-MM-dd.
QString exportFileName(const QString& name, const QDate& date);
// A new empty file in "nvlog" named for today, replacing one of the same name; nullopt
// without the folder.
std::optional<ExportFile> createExportFile(const QString& name);
// The same for "nvcert/Norvane Filtering Certificate.cer".
std::optional<ExportFile> createCertificateExportFile();
// Shows a file that went to the extension in the file manager; removes one that did not.
void revealOrRemoveExportedFile(bool sent, const QString& path);

} // namespace SupportExport
