#include "TestCertificates.h"

#include <QSslCertificate>

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace {
struct KeyFree
{
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};

EVP_PKEY* keyOf(int index)
{
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<EVP_PKEY, KeyFree>> keys;
    std::lock_guard lock(mutex);
    auto& slot = keys[index];
    if (!slot)
        slot.reset(EVP_EC_gen("P-256"));
    if (!slot)
        throw std::runtime_error("EVP_EC_gen failed");
    return slot.get();
}

void check(bool ok, const char* step)
{
    if (!ok)
        throw std::runtime_error(std::string("OpenSSL step failed: ") + step);
}
} // namespace

namespace TestCertificates {

QByteArray pem(int keyIndex, const QString& commonName)
{
    EVP_PKEY* key = keyOf(keyIndex);
    std::unique_ptr<X509, decltype(&X509_free)> certificate(X509_new(), X509_free);
    check(certificate && X509_set_version(certificate.get(), 2) == 1, "X509_new");
    unsigned char serial[16];
    check(RAND_bytes(serial, sizeof serial) == 1, "RAND_bytes");
    serial[0] &= 0x7f;
    std::unique_ptr<BIGNUM, decltype(&BN_free)> number(BN_bin2bn(serial, sizeof serial, nullptr), BN_free);
    check(number && BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(certificate.get())), "serial");
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 30L * 24 * 3600);
    X509_NAME* subject = X509_get_subject_name(certificate.get());
    const QByteArray name = commonName.toUtf8();
    check(X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                     reinterpret_cast<const unsigned char*>(name.constData()), -1, -1, 0) == 1,
          "subject");
    check(X509_set_issuer_name(certificate.get(), subject) == 1 && X509_set_pubkey(certificate.get(), key) == 1,
          "issuer");
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate.get(), certificate.get(), nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, NID_basic_constraints, "critical,CA:TRUE");
    check(extension && X509_add_ext(certificate.get(), extension, -1) == 1, "basicConstraints");
    X509_EXTENSION_free(extension);
    check(X509_sign(certificate.get(), key, EVP_sha256()) > 0, "X509_sign");
    std::unique_ptr<BIO, decltype(&BIO_free_all)> bio(BIO_new(BIO_s_mem()), BIO_free_all);
    check(bio && PEM_write_bio_X509(bio.get(), certificate.get()) == 1, "PEM_write_bio_X509");
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, static_cast<qsizetype>(size));
}

QByteArray der(const QByteArray& pemText)
{
    return QSslCertificate(pemText, QSsl::Pem).toDer();
}

} // namespace TestCertificates
