#include "platform/NssDatabase.h"

#include "platform/Paths.h"

#include <QFile>
#include <QFileInfo>

#include "platform/NssHeaders.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {
std::mutex& nssMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Creates each missing folder of path for this user only, as NSS tools do for ~/.pki.
bool makeUserDirectory(const QString& path, QString* failure)
{
    const QFileInfo info(path);
    if (info.isDir())
        return true;
    if (info.exists()) {
        *failure = QStringLiteral("%1 is not a folder").arg(path);
        return false;
    }
    const QString parent = info.absolutePath();
    if (parent != path && !makeUserDirectory(parent, failure))
        return false;
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST) {
        *failure = QStringLiteral("cannot create %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}
} // namespace

QString NssDatabase::userDirectory()
{
    return Paths::home() + QStringLiteral("/.pki/nssdb");
}

NssDatabase::NssDatabase(const QString& directory) : m_lock(nssMutex())
{
    open(directory);
}

NssDatabase::~NssDatabase()
{
    if (m_slot)
        PK11_FreeSlot(m_slot);
    if (m_context)
        NSS_ShutdownContext(m_context);
}

QString NssDatabase::lastError()
{
    const PRErrorCode code = PR_GetError();
    const char* name = PR_ErrorToName(code);
    const char* text = PR_ErrorToString(code, PR_LANGUAGE_I_DEFAULT);
    return QStringLiteral("%1 (%2): %3")
        .arg(name ? QString::fromLatin1(name) : QStringLiteral("NSS error"))
        .arg(code)
        .arg(text ? QString::fromUtf8(text) : QString());
}

void NssDatabase::fail(OSStatus status, const QString& failure)
{
    m_status = status;
    m_failure = failure;
}

void NssDatabase::open(const QString& directory)
{
    QString failure;
    if (!makeUserDirectory(directory, &failure))
        return fail(SecurityStatus::notAvailable,
                    QStringLiteral("Keychain: no certificate database at %1: %2").arg(directory, failure));

    // No built-in roots module: only the user's own database is wanted here.
    const QByteArray configuration = "sql:" + QFile::encodeName(directory);
    m_context = NSS_InitContext(configuration.constData(), "", "", SECMOD_DB, nullptr,
                                NSS_INIT_NOROOTINIT | NSS_INIT_OPTIMIZESPACE);
    if (!m_context)
        return fail(SecurityStatus::invalidKeychain, QStringLiteral("Keychain: cannot open the certificate database %1: %2")
                                                         .arg(QString::fromUtf8(configuration), lastError()));
    m_slot = PK11_GetInternalKeySlot();
    if (!m_slot)
        return fail(SecurityStatus::notAvailable,
                    QStringLiteral("Keychain: the certificate database %1 has no certificate slot: %2")
                        .arg(QString::fromUtf8(configuration), lastError()));
    if (PK11_NeedUserInit(m_slot) && PK11_InitPin(m_slot, nullptr, "") != SECSuccess) {
        const QString error = lastError();
        PK11_FreeSlot(m_slot);
        m_slot = nullptr;
        return fail(SecurityStatus::authFailed, QStringLiteral("Keychain: cannot set up the certificate database %1: %2")
                                                    .arg(QString::fromUtf8(configuration), error));
    }
    m_status = SecurityStatus::success;
}
