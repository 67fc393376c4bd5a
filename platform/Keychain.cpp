#include "platform/Keychain.h"

#include "platform/Diagnostics.h"
#include "platform/NssCertificates.h"
#include "platform/NssDatabase.h"

#include "platform/NssHeaders.h"

#include <vector>

namespace {
// Runs operation on the open user database and reports its trouble, if any, once the
// database is closed again (the report leaves this layer, so not under the NSS lock).
template<typename Operation>
OSStatus withUserDatabase(Operation operation)
{
    QString problem;
    OSStatus status;
    {
        NssDatabase database(NssDatabase::userDirectory());
        if (database.isOpen()) {
            status = operation(database, &problem);
        } else {
            status = database.status();
            problem = database.failure();
        }
    }
    if (!problem.isEmpty())
        Diagnostics::report(QStringLiteral("%1 (status %2)").arg(problem).arg(status));
    return status;
}
} // namespace

OSStatus Keychain::copyCertificate(const QString& label, QSslCertificate* certificate)
{
    return withUserDatabase([&](NssDatabase& database, QString* problem) {
        QSslCertificate found;
        if (!NssCertificates::forEachWithNickname(database.slot(), label, [&](CERTCertificate* stored) {
                found = NssCertificates::toQt(stored);
                return found.isNull();
            })) {
            *problem = QStringLiteral("Keychain: cannot list the certificates: ") + NssDatabase::lastError();
            return SecurityStatus::invalidKeychain;
        }
        if (found.isNull())
            return SecurityStatus::itemNotFound;
        if (certificate)
            *certificate = found;
        return SecurityStatus::success;
    });
}

OSStatus Keychain::deleteCertificates(const QString& label)
{
    return withUserDatabase([&](NssDatabase& database, QString* problem) {
        std::vector<CERTCertificate*> matches;
        if (!NssCertificates::forEachWithNickname(database.slot(), label, [&](CERTCertificate* stored) {
                matches.push_back(CERT_DupCertificate(stored));
                return true;
            })) {
            *problem = QStringLiteral("Keychain: cannot list the certificates: ") + NssDatabase::lastError();
            return SecurityStatus::invalidKeychain;
        }
        if (matches.empty())
            return SecurityStatus::itemNotFound;
        OSStatus status = SecurityStatus::success;
        for (CERTCertificate* stored : matches) {
            if (status == SecurityStatus::success && SEC_DeletePermCertificate(stored) != SECSuccess) {
                *problem = QStringLiteral("Keychain: cannot delete the certificate \"%1\": %2")
                               .arg(label, NssDatabase::lastError());
                status = SecurityStatus::internalComponent;
            }
            CERT_DestroyCertificate(stored);
        }
        return status;
    });
}

OSStatus Keychain::addCertificate(const QSslCertificate& certificate, const QString& label)
{
    if (certificate.isNull())
        return SecurityStatus::param;
    const QByteArray der = certificate.toDer();
    return withUserDatabase([&](NssDatabase& database, QString* problem) {
        if (CERTCertificate* stored = NssCertificates::findStored(database.slot(), der)) {
            CERT_DestroyCertificate(stored);
            return SecurityStatus::duplicateItem;
        }
        SECItem item{siBuffer, reinterpret_cast<unsigned char*>(const_cast<char*>(der.constData())),
                     static_cast<unsigned int>(der.size())};
        QByteArray nickname = label.toUtf8();
        if (PK11_ImportDERCert(database.slot(), &item, CK_INVALID_HANDLE, nickname.data(), PR_FALSE) != SECSuccess) {
            *problem = QStringLiteral("Keychain: cannot add the certificate \"%1\": %2").arg(label, NssDatabase::lastError());
            return SecurityStatus::internalComponent;
        }
        return SecurityStatus::success;
    });
}
