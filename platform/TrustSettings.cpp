#include "platform/TrustSettings.h"

#include "platform/Diagnostics.h"
#include "platform/NssCertificates.h"
#include "platform/NssDatabase.h"

#include "platform/NssHeaders.h"

OSStatus TrustSettings::setTrustSettings(const QSslCertificate& certificate, std::int32_t domain)
{
    if (domain == admin || domain == system)
        return SecurityStatus::unimplemented;
    if (domain != user || certificate.isNull())
        return SecurityStatus::param;
    const QByteArray der = certificate.toDer();
    QString problem;
    OSStatus status = SecurityStatus::success;
    {
        NssDatabase database(NssDatabase::userDirectory());
        if (!database.isOpen()) {
            status = database.status();
            problem = database.failure();
        } else if (CERTCertificate* stored = NssCertificates::findStored(database.slot(), der)) {
            // A trusted issuer of server and client certificates (C, T), of e-mail (C) and of
            // code signing (C): certutil's "CT,C,C".
            CERTCertTrust trust;
            CERT_DecodeTrustString(&trust, "CT,C,C");
            if (CERT_ChangeCertTrust(CERT_GetDefaultCertDB(), stored, &trust) != SECSuccess) {
                // A database the user protected with a password: nobody can be asked for it here.
                status = PR_GetError() == SEC_ERROR_TOKEN_NOT_LOGGED_IN ? SecurityStatus::interactionNotAllowed
                                                                        : SecurityStatus::internalComponent;
                problem = QStringLiteral("TrustSettings: cannot change the trust of %1: %2")
                              .arg(certificate.subjectDisplayName(), NssDatabase::lastError());
            }
            CERT_DestroyCertificate(stored);
        } else {
            status = SecurityStatus::itemNotFound;
        }
    }
    if (!problem.isEmpty())
        Diagnostics::report(QStringLiteral("%1 (status %2)").arg(problem).arg(status));
    return status;
}
