#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>
#include <vector>

// A key pair and a self-signed certificate made at start, valid for the given IP
// addresses and DNS names (the first one is also the subject's common name).
class SelfSignedCertificate
{
public:
    struct SubjectAltNames
    {
        std::vector<std::string> ipAddresses;
        std::vector<std::string> dnsNames;
    };

    // Throws std::runtime_error when OpenSSL fails.
    explicit SelfSignedCertificate(const SubjectAltNames& names);
    ~SelfSignedCertificate();
    SelfSignedCertificate(const SelfSignedCertificate&) = delete;
    SelfSignedCertificate& operator=(const SelfSignedCertificate&) = delete;

    X509* certificate() const { return m_certificate; }
    EVP_PKEY* privateKey() const { return m_key; }
    std::string certificatePem() const;
    // Writes the certificate's PEM to path through a temporary file and a rename, so a
    // reader never sees half of it.
    bool writeCertificatePem(const std::string& path) const;

private:
    EVP_PKEY* m_key = nullptr;
    X509* m_certificate = nullptr;
};
