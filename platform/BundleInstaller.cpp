#include "platform/BundleInstaller.h"

#include "platform/Diagnostics.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool fail(QString* errorText, const QString& text)
{
    if (errorText)
        *errorText = text;
    return false;
}

// A copy of a bundle folder that keeps links as links and the permission bits.
bool copyTree(const QString& from, const QString& to, QString* problem)
{
    if (!QDir().mkdir(to)) {
        *problem = QStringLiteral("cannot create %1").arg(to);
        return false;
    }
    QDirIterator it(from, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString target = to + info.filePath().mid(from.size());
        const QByteArray targetName = QFile::encodeName(target);
        if (info.isSymLink()) {
            char link[4096];
            const ssize_t length = ::readlink(QFile::encodeName(info.filePath()).constData(), link, sizeof link - 1);
            if (length < 0 || ::symlink(QByteArray(link, int(length)).constData(), targetName.constData()) != 0) {
                *problem = QStringLiteral("cannot copy the link %1: %2").arg(info.filePath(), errnoText(errno));
                return false;
            }
        } else if (info.isDir()) {
            if (!QDir().mkdir(target)) {
                *problem = QStringLiteral("cannot create %1").arg(target);
                return false;
            }
        } else if (!QFile::copy(info.filePath(), target)) {
            *problem = QStringLiteral("cannot copy %1").arg(info.filePath());
            return false;
        }
        if (!info.isSymLink())
            QFile::setPermissions(target, info.permissions());
    }
    return true;
}

} // namespace

BundleInstaller::Operations BundleInstaller::Operations::system()
{
    Operations operations;
    operations.rename = [](const QString& from, const QString& to) {
        return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0 ? 0 : errno;
    };
    operations.exchange = [](const QString& first, const QString& second) {
        return ::renameat2(AT_FDCWD, QFile::encodeName(first).constData(), AT_FDCWD,
                           QFile::encodeName(second).constData(), RENAME_EXCHANGE) == 0
                   ? 0
                   : errno;
    };
    return operations;
}

BundleInstaller::BundleInstaller(Operations operations) : m_operations(std::move(operations)) {}

bool BundleInstaller::moveBeside(const QString& stagedBundle, const QString& besidePath, QString* errorText) const
{
    const int moved = m_operations.rename(stagedBundle, besidePath);
    if (moved == 0)
        return true;
    if (moved != EXDEV)
        return fail(errorText, QStringLiteral("The new version cannot be moved next to the installed one: %1")
                                   .arg(errnoText(moved)));
    QString problem;
    if (!copyTree(stagedBundle, besidePath, &problem)) {
        QDir(besidePath).removeRecursively();
        return fail(errorText, QStringLiteral("The new version cannot be copied next to the installed one: %1").arg(problem));
    }
    QDir(stagedBundle).removeRecursively();
    return true;
}

bool BundleInstaller::install(const QString& stagedBundle, const QString& installedBundle, QString* errorText) const
{
    const QFileInfo installed(installedBundle);
    if (!installed.isDir() || installed.isSymLink()) {
        QDir(stagedBundle).removeRecursively();
        return fail(errorText, QStringLiteral("The installed version at %1 is not a folder.").arg(installedBundle));
    }
    const QString parent = installed.absolutePath();
    const QString tag = QUuid::createUuid().toString(QUuid::Id128).left(12);
    const QString incoming = parent + QStringLiteral("/.") + installed.fileName() + QStringLiteral(".new-") + tag;
    const QString outgoing = parent + QStringLiteral("/.") + installed.fileName() + QStringLiteral(".old-") + tag;

    if (!moveBeside(stagedBundle, incoming, errorText)) {
        QDir(stagedBundle).removeRecursively();
        return false;
    }

    const int exchanged = m_operations.exchange(incoming, installed.absoluteFilePath());
    if (exchanged == 0) {
        // The old version now sits at the incoming path.
        if (!QDir(incoming).removeRecursively())
            Diagnostics::report(QStringLiteral("BundleInstaller: the old version at %1 could not be removed").arg(incoming));
        return true;
    }
    if (exchanged != ENOSYS && exchanged != EINVAL) {
        QDir(incoming).removeRecursively();
        return fail(errorText, QStringLiteral("The new version cannot be put in place: %1").arg(errnoText(exchanged)));
    }

    if (const int aside = m_operations.rename(installed.absoluteFilePath(), outgoing); aside != 0) {
        QDir(incoming).removeRecursively();
        return fail(errorText, QStringLiteral("The installed version cannot be moved aside: %1").arg(errnoText(aside)));
    }
    if (const int in = m_operations.rename(incoming, installed.absoluteFilePath()); in != 0) {
        if (const int back = m_operations.rename(outgoing, installed.absoluteFilePath()); back != 0)
            Diagnostics::report(QStringLiteral("BundleInstaller: the old version could not be put back from %1: %2")
                                    .arg(outgoing, errnoText(back)));
        QDir(incoming).removeRecursively();
        return fail(errorText, QStringLiteral("The new version cannot be put in place: %1").arg(errnoText(in)));
    }
    if (!QDir(outgoing).removeRecursively())
        Diagnostics::report(QStringLiteral("BundleInstaller: the old version at %1 could not be removed").arg(outgoing));
    return true;
}
