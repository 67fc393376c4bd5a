#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The root certificate the extension would inspect encrypted traffic with: a certificate
// authority with a fresh key, made once at start. Only its PEM text leaves the process.
namespace RootCertificate {

// The subject's common name, the application's keychain label for it.
inline constexpr const char* commonName = "Norvane Filtering Certificate";

// A new self-signed CA certificate in PEM; nullopt with the reason in *error when OpenSSL fails.
std::optional<QByteArray> generatePem(QString* error);

} // namespace RootCertificate
