#include "RootCertificate.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace {

template <typename T, void (*Free)(T*)> struct Deleter
{
    void operator()(T* pointer) const { Free(pointer); }
};
using KeyPointer = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertificatePointer = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPointer = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using BigNumberPointer = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>>;
using ExtensionPointer = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION, X509_EXTENSION_free>>;

QString openSslError(const char* step)
{
    char text[256] = {};
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    return QStringLiteral("%1 failed: %2").arg(QLatin1String(step), QLatin1String(text));
}

bool addExtension(X509* certificate, int nid, const char* value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    const ExtensionPointer extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value));
    return extension && X509_add_ext(certificate, extension.get(), -1) == 1;
}

bool addName(X509_NAME* name, const char* field, const char* value)
{
    return X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                      reinterpret_cast<const unsigned char*>(value), -1, -1, 0) == 1;
}

} // namespace

namespace RootCertificate {

std::optional<QByteArray> generatePem(QString* error)
{
    const KeyPointer key(EVP_EC_gen("P-256"));
    if (!key) {
        *error = openSslError("EVP_EC_gen");
        return std::nullopt;
    }
    const CertificatePointer certificate(X509_new());
    if (!certificate || X509_set_version(certificate.get(), 2) != 1) {
        *error = openSslError("X509_new");
        return std::nullopt;
    }
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1) {
        *error = openSslError("RAND_bytes");
        return std::nullopt;
    }
    serial[0] &= 0x7f; // serial numbers are positive
    const BigNumberPointer number(BN_bin2bn(serial, sizeof serial, nullptr));
    if (!number || !BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(certificate.get()))) {
        *error = openSslError("BN_to_ASN1_INTEGER");
        return std::nullopt;
    }
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 365L * 24 * 3600);
    X509_NAME* subject = X509_get_subject_name(certificate.get());
    if (X509_set_pubkey(certificate.get(), key.get()) != 1 || !addName(subject, "O", "Norvane") ||
        !addName(subject, "CN", commonName) || X509_set_issuer_name(certificate.get(), subject) != 1) {
        *error = openSslError("X509_set_subject");
        return std::nullopt;
    }
    if (!addExtension(certificate.get(), NID_basic_constraints, "critical,CA:TRUE") ||
        !addExtension(certificate.get(), NID_key_usage, "critical,keyCertSign,cRLSign,digitalSignature") ||
        !addExtension(certificate.get(), NID_subject_key_identifier, "hash")) {
        *error = openSslError("X509_add_ext");
        return std::nullopt;
    }
    if (X509_sign(certificate.get(), key.get(), EVP_sha256()) <= 0) {
        *error = openSslError("X509_sign");
        return std::nullopt;
    }
    const BioPointer bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_X509(bio.get(), certificate.get()) != 1) {
        *error = openSslError("PEM_write_bio_X509");
        return std::nullopt;
    }
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, qsizetype(length));
}

} // namespace RootCertificate
