#pragma once

#include "platform/FileHandle.h"

#include <QSslCertificate>
#include <QString>

#include <cstdint>
#include <optional>

// The filter's root certificate in the user's keychain: parsing the PEM the extension
// writes, comparing certificates by their public keys, and the installation and trust
// that the extension asks for when it could not install the certificate itself.
class CertificateHelper
{
public:
    CertificateHelper() = delete;

    static constexpr const char* keychainLabel = "Norvane Filtering Certificate";
    // Where the extension leaves its certificate for the application.
    static constexpr const char* sharedCertificatePath = "/usr/local/share/nrvm/nrvmcert.pem";

    // The certificate of a PEM text: the markers and line feeds removed, the rest trimmed
    // and decoded as Base64 leniently (characters outside the alphabet, such as carriage
    // returns, are skipped), then parsed as DER. Nothing when that gives no certificate.
    static std::optional<QSslCertificate> certificateFromPem(const QString& text);
    // Whether both certificates carry the same public key; false when either has none.
    static bool publicKeysEqual(const QSslCertificate& a, const QSslCertificate& b);
};

// Installs the certificate read from handle (without one, from the shared certificate
// file) under the keychain label and trusts it in the domain (0: the user's). True only
// when a new item was added and trusted; an item with the same public key is left alone.
bool installRootCertificate(std::int32_t domain, const SharedFileHandle& handle, const QString& pemPath);
// Trusts the certificate as a root: true when the PEM file already verifies or the trust
// settings were changed.
bool trustRootCertificate(const QString& pemPath, const std::optional<QSslCertificate>& certificate,
                          std::int32_t domain);
// Deletes every certificate item with the keychain label; logs the outcome.
void removeRootCertificate();
