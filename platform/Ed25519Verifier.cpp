#include "platform/Ed25519Verifier.h"

#include <QFile>

#include <openssl/evp.h>

#include <memory>

namespace {

std::optional<QByteArray> decodeExact(const QString& base64, int size)
{
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(base64.trimmed().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != size)
        return std::nullopt;
    return decoded.decoded;
}

bool fail(QString* errorText, const QString& text)
{
    if (errorText)
        *errorText = text;
    return false;
}

} // namespace

namespace Ed25519Verifier {

std::optional<QByteArray> decodePublicKey(const QString& base64)
{
    return decodeExact(base64, publicKeySize);
}

std::optional<QByteArray> decodeSignature(const QString& base64)
{
    return decodeExact(base64, signatureSize);
}

bool verifyFile(const QString& filePath, const QByteArray& publicKey, const QByteArray& signature, QString* errorText)
{
    if (publicKey.size() != publicKeySize || signature.size() != signatureSize)
        return fail(errorText, QStringLiteral("The key or the signature has the wrong size."));
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return fail(errorText, QStringLiteral("The update cannot be read: %1").arg(file.errorString()));
    const qint64 size = file.size();
    // Ed25519 signs the whole message at once; the mapping lets the kernel page it in.
    const uchar* bytes = size > 0 ? file.map(0, size) : reinterpret_cast<const uchar*>("");
    if (!bytes)
        return fail(errorText, QStringLiteral("The update cannot be read: %1").arg(file.errorString()));

    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(publicKey.constData()),
                                    size_t(publicKey.size())),
        &EVP_PKEY_free);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!key || !context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return fail(errorText, QStringLiteral("The public key cannot be used."));
    const int result = EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                                        size_t(signature.size()), bytes, size_t(size));
    if (result != 1)
        return fail(errorText, QStringLiteral("The update’s signature does not match its contents."));
    return true;
}

} // namespace Ed25519Verifier
