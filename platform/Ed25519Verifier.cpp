#include "platform/Ed25519Verifier.h"

#include <QFile>

#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/ec.h>
#include <openssl/evp.h>

#include <algorithm>
#include <memory>

// libcrypto verifies Ed25519 only over a message held whole in memory. Archives are hashed
// here piece by piece instead, and the signature equation [S]B = R + [k]A is checked with
// libcrypto's prime-field curve arithmetic on the short Weierstrass curve that edwards25519
// maps to (through curve25519), so memory does not grow with the archive.
namespace {

using Number = std::unique_ptr<BIGNUM, decltype(&BN_free)>;
using Context = std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)>;
using Group = std::unique_ptr<EC_GROUP, decltype(&EC_GROUP_free)>;
using Point = std::unique_ptr<EC_POINT, decltype(&EC_POINT_free)>;

Number number(BN_ULONG value = 0)
{
    Number n(BN_new(), &BN_free);
    BN_set_word(n.get(), value);
    return n;
}

Number decimal(const char* text)
{
    BIGNUM* value = nullptr;
    BN_dec2bn(&value, text);
    return Number(value, &BN_free);
}

Point noPoint()
{
    return Point(nullptr, &EC_POINT_free);
}

class Curve
{
public:
    Curve()
    {
        BN_CTX* c = m_context.get();
        const BIGNUM* p = m_p.get();
        Number inverse = number(121666), three = number(3), nine = number(9), twentySeven = number(27);
        // d = -121665 / 121666
        BN_mod_inverse(inverse.get(), inverse.get(), p, c);
        BN_sub(m_d.get(), p, number(121665).get());
        BN_mod_mul(m_d.get(), m_d.get(), inverse.get(), p, c);
        // a = (3 - A^2) / 3, b = (2 A^3 - 9 A) / 27, A/3.
        Number a = number(), b = number(), A2 = number(), t = number();
        BN_mod_sqr(A2.get(), m_A.get(), p, c);
        BN_mod_inverse(three.get(), three.get(), p, c);
        BN_mod_inverse(twentySeven.get(), twentySeven.get(), p, c);
        BN_mod_sub(a.get(), number(3).get(), A2.get(), p, c);
        BN_mod_mul(a.get(), a.get(), three.get(), p, c);
        BN_mod_mul(b.get(), A2.get(), m_A.get(), p, c);
        BN_mod_lshift1(b.get(), b.get(), p, c);
        BN_mod_mul(t.get(), nine.get(), m_A.get(), p, c);
        BN_mod_sub(b.get(), b.get(), t.get(), p, c);
        BN_mod_mul(b.get(), b.get(), twentySeven.get(), p, c);
        BN_mod_mul(m_aThird.get(), m_A.get(), three.get(), p, c);
        BN_sub(t.get(), p, number(486664).get());
        if (!BN_mod_sqrt(m_root.get(), t.get(), p, c))
            return;
        m_group.reset(EC_GROUP_new_curve_GFp(p, a.get(), b.get(), c));
        if (!m_group)
            return;
        // The base point: y = 4/5, x even.
        unsigned char base[32];
        std::fill(std::begin(base), std::end(base), 0x66);
        base[0] = 0x58;
        const Point generator = decode(base);
        m_ok = generator && EC_GROUP_set_generator(m_group.get(), generator.get(), m_order.get(), number(8).get()) == 1;
    }

    bool isUsable() const { return m_ok; }
    const EC_GROUP* group() const { return m_group.get(); }
    BN_CTX* context() const { return m_context.get(); }
    const BIGNUM* order() const { return m_order.get(); }

    // RFC 8032's decoding of a point, mapped to the Weierstrass curve; nothing when the
    // bytes are not the canonical encoding of a point.
    Point decode(const unsigned char* encoded) const
    {
        BN_CTX* c = m_context.get();
        const BIGNUM* p = m_p.get();
        unsigned char bytes[32];
        std::copy(encoded, encoded + 32, bytes);
        const bool sign = bytes[31] & 0x80;
        bytes[31] &= 0x7f;
        Number y(BN_lebin2bn(bytes, 32, nullptr), &BN_free);
        if (!y || BN_cmp(y.get(), p) >= 0)
            return noPoint();
        Number one = number(1), y2 = number(), x2 = number(), denominator = number(), x = number();
        BN_mod_sqr(y2.get(), y.get(), p, c);
        BN_mod_sub(x2.get(), y2.get(), one.get(), p, c);
        BN_mod_mul(denominator.get(), m_d.get(), y2.get(), p, c);
        BN_mod_add(denominator.get(), denominator.get(), one.get(), p, c);
        if (!BN_mod_inverse(denominator.get(), denominator.get(), p, c))
            return noPoint();
        BN_mod_mul(x2.get(), x2.get(), denominator.get(), p, c);

        Point point(EC_POINT_new(m_group.get()), &EC_POINT_free);
        if (!point)
            return noPoint();
        if (BN_is_zero(x2.get())) {
            if (sign)
                return noPoint(); // "-0" is not canonical
            if (BN_is_one(y.get())) {
                EC_POINT_set_to_infinity(m_group.get(), point.get()); // the neutral element
                return point;
            }
            // (0, -1), of order two, is Montgomery's (0, 0).
            if (EC_POINT_set_affine_coordinates(m_group.get(), point.get(), m_aThird.get(), number().get(), c) != 1)
                return noPoint();
            return point;
        }
        if (!BN_mod_sqrt(x.get(), x2.get(), p, c))
            return noPoint();
        if (bool(BN_is_odd(x.get())) != sign)
            BN_sub(x.get(), p, x.get());
        // Montgomery u = (1 + y) / (1 - y), v = sqrt(-486664) u / x; Weierstrass X = u + A/3, Y = v.
        Number u = number(), v = number(), oneMinusY = number(), xInverse = number();
        BN_mod_add(u.get(), one.get(), y.get(), p, c);
        BN_mod_sub(oneMinusY.get(), one.get(), y.get(), p, c);
        if (!BN_mod_inverse(oneMinusY.get(), oneMinusY.get(), p, c) || !BN_mod_inverse(xInverse.get(), x.get(), p, c))
            return noPoint();
        BN_mod_mul(u.get(), u.get(), oneMinusY.get(), p, c);
        BN_mod_mul(v.get(), m_root.get(), u.get(), p, c);
        BN_mod_mul(v.get(), v.get(), xInverse.get(), p, c);
        BN_mod_add(u.get(), u.get(), m_aThird.get(), p, c);
        if (EC_POINT_set_affine_coordinates(m_group.get(), point.get(), u.get(), v.get(), c) != 1)
            return noPoint();
        return point;
    }

private:
    Context m_context{BN_CTX_new(), &BN_CTX_free};
    Number m_p = decimal("57896044618658097711785492504343953926634992332820282019728792003956564819949");
    Number m_order = decimal("7237005577332262213973186563042994240857116359379907606001950938285454250989");
    Number m_A = number(486662);
    Number m_d = number();
    Number m_aThird = number();
    Number m_root = number();
    Group m_group{nullptr, &EC_GROUP_free};
    bool m_ok = false;
};

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

const unsigned char* bytes(const QByteArray& data)
{
    return reinterpret_cast<const unsigned char*>(data.constData());
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
    const QString mismatch = QStringLiteral("The update’s signature does not match its contents.");
    if (publicKey.size() != publicKeySize || signature.size() != signatureSize)
        return fail(errorText, QStringLiteral("The key or the signature has the wrong size."));
    const Curve curve;
    if (!curve.isUsable())
        return fail(errorText, QStringLiteral("The signature cannot be checked (libcrypto)."));
    BN_CTX* c = curve.context();

    const Point A = curve.decode(bytes(publicKey));
    if (!A)
        return fail(errorText, QStringLiteral("The public key is not a valid Ed25519 key."));
    // A key of small order would accept signatures of anything.
    Point check(EC_POINT_new(curve.group()), &EC_POINT_free);
    if (!check || EC_POINT_mul(curve.group(), check.get(), nullptr, A.get(), number(8).get(), c) != 1 ||
        EC_POINT_is_at_infinity(curve.group(), check.get()))
        return fail(errorText, QStringLiteral("The public key is not a valid Ed25519 key."));
    const Point R = curve.decode(bytes(signature));
    Number S(BN_lebin2bn(bytes(signature) + 32, 32, nullptr), &BN_free);
    if (!R || !S || BN_cmp(S.get(), curve.order()) >= 0)
        return fail(errorText, mismatch);

    // k = SHA-512(R || A || message), little-endian, modulo the group order.
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return fail(errorText, QStringLiteral("The update cannot be read: %1").arg(file.errorString()));
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> hash(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!hash || EVP_DigestInit_ex(hash.get(), EVP_sha512(), nullptr) != 1 ||
        EVP_DigestUpdate(hash.get(), signature.constData(), 32) != 1 ||
        EVP_DigestUpdate(hash.get(), publicKey.constData(), 32) != 1)
        return fail(errorText, QStringLiteral("The signature cannot be checked (libcrypto)."));
    QByteArray piece(1024 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 count = file.read(piece.data(), piece.size());
        if (count < 0)
            return fail(errorText, QStringLiteral("The update cannot be read: %1").arg(file.errorString()));
        if (count == 0)
            break;
        EVP_DigestUpdate(hash.get(), piece.constData(), size_t(count));
    }
    unsigned char digest[64];
    unsigned int digestLength = 0;
    if (EVP_DigestFinal_ex(hash.get(), digest, &digestLength) != 1 || digestLength != 64)
        return fail(errorText, QStringLiteral("The signature cannot be checked (libcrypto)."));
    Number k(BN_lebin2bn(digest, 64, nullptr), &BN_free);
    if (!k || BN_nnmod(k.get(), k.get(), curve.order(), c) != 1)
        return fail(errorText, QStringLiteral("The signature cannot be checked (libcrypto)."));

    // [S]B - [k]A must be R.
    Point negativeA(EC_POINT_dup(A.get(), curve.group()), &EC_POINT_free);
    Point result(EC_POINT_new(curve.group()), &EC_POINT_free);
    if (!negativeA || !result || EC_POINT_invert(curve.group(), negativeA.get(), c) != 1 ||
        EC_POINT_mul(curve.group(), result.get(), S.get(), negativeA.get(), k.get(), c) != 1)
        return fail(errorText, QStringLiteral("The signature cannot be checked (libcrypto)."));
    if (EC_POINT_cmp(curve.group(), result.get(), R.get(), c) != 0)
        return fail(errorText, mismatch);
    return true;
}

} // namespace Ed25519Verifier
