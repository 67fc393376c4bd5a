#include "SelfSignedCertificate.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace {

[[noreturn]] void fail(const char* what)
{
    char text[256] = {};
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    throw std::runtime_error(std::string(what) + ": " + text);
}

void addExtension(X509* certificate, int nid, const std::string& value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (!extension)
        fail("X509V3_EXT_conf_nid");
    const int added = X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
    if (!added)
        fail("X509_add_ext");
}

} // namespace

SelfSignedCertificate::SelfSignedCertificate(const SubjectAltNames& names)
{
    m_key = EVP_EC_gen("P-256");
    if (!m_key)
        fail("EVP_EC_gen");
    m_certificate = X509_new();
    if (!m_certificate)
        fail("X509_new");

    X509_set_version(m_certificate, 2);
    unsigned char serial[8];
    if (RAND_bytes(serial, sizeof serial) != 1)
        fail("RAND_bytes");
    serial[0] &= 0x7f; // keep it positive
    BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(number, X509_get_serialNumber(m_certificate));
    BN_free(number);
    X509_gmtime_adj(X509_getm_notBefore(m_certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(m_certificate), 30L * 24 * 3600);
    X509_set_pubkey(m_certificate, m_key);

    const std::string commonName = !names.ipAddresses.empty() ? names.ipAddresses.front()
                                   : !names.dnsNames.empty()  ? names.dnsNames.front()
                                                              : std::string("localhost");
    X509_NAME* subject = X509_get_subject_name(m_certificate);
    X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Norvane test peer"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
    X509_set_issuer_name(m_certificate, subject);

    std::string altNames;
    for (const std::string& ip : names.ipAddresses)
        altNames += (altNames.empty() ? "" : ",") + std::string("IP:") + ip;
    for (const std::string& dns : names.dnsNames)
        altNames += (altNames.empty() ? "" : ",") + std::string("DNS:") + dns;
    // Its own root: the tests trust this very certificate.
    addExtension(m_certificate, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(m_certificate, NID_key_usage, "critical,digitalSignature,keyCertSign");
    addExtension(m_certificate, NID_ext_key_usage, "serverAuth");
    addExtension(m_certificate, NID_subject_key_identifier, "hash");
    if (!altNames.empty())
        addExtension(m_certificate, NID_subject_alt_name, altNames);

    if (!X509_sign(m_certificate, m_key, EVP_sha256()))
        fail("X509_sign");
}

SelfSignedCertificate::~SelfSignedCertificate()
{
    X509_free(m_certificate);
    EVP_PKEY_free(m_key);
}

std::string SelfSignedCertificate::certificatePem() const
{
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, m_certificate);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    std::string pem(data, static_cast<size_t>(length));
    BIO_free(bio);
    return pem;
}

bool SelfSignedCertificate::writeCertificatePem(const std::string& path) const
{
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << certificatePem();
        if (!out.flush())
            return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}
