#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Ed25519 signatures of update archives (libcrypto). Keys and signatures travel as Base64:
// the public key in SUPublicEDKey of a bundle's Info.plist (32 bytes), the signature in the
// feed's sparkle:edSignature (64 bytes) over the archive's bytes.
namespace Ed25519Verifier {
inline constexpr int publicKeySize = 32;
inline constexpr int signatureSize = 64;

// The raw key, or nothing when the text is not the Base64 of 32 bytes.
std::optional<QByteArray> decodePublicKey(const QString& base64);
std::optional<QByteArray> decodeSignature(const QString& base64);

// Whether the file's bytes carry the signature of the key. Reads the file in pieces, so
// memory does not grow with its size. errorText says why when it does not.
bool verifyFile(const QString& filePath, const QByteArray& publicKey, const QByteArray& signature,
                QString* errorText = nullptr);
} // namespace Ed25519Verifier
