#pragma once

#include "platform/SecurityStatus.h"

#include <QSslCertificate>
#include <QString>

// Certificate items by label, shaped after the keychain's item calls. The items live in the
// user's NSS shared database (NssDatabase::userDirectory(), created when missing); the label
// is the certificate's NSS nickname. A database that cannot be opened or is corrupt gives a
// failure status and a diagnostic line, and is left as it is.
class Keychain
{
public:
    Keychain() = delete;

    // The first stored certificate with the label (the copy-matching call with one match,
    // answering the item itself). itemNotFound when there is none.
    static OSStatus copyCertificate(const QString& label, QSslCertificate* certificate);
    // Deletes every stored certificate with the label; itemNotFound when there is none.
    static OSStatus deleteCertificates(const QString& label);
    // Stores the certificate under the label; duplicateItem when the same certificate is
    // stored already (under any label), param for a null certificate.
    static OSStatus addCertificate(const QSslCertificate& certificate, const QString& label);
};
