#pragma once

#include <QByteArray>
#include <QString>

// Self-signed CA certificates for tests, made with OpenSSL. Keys are made once per index
// and kept for the process, so two certificates of one index share their public key while
// every call gives a new certificate (its own serial number).
namespace TestCertificates {
QByteArray pem(int keyIndex, const QString& commonName = QStringLiteral("Norvane Filtering Certificate"));
QByteArray der(const QByteArray& pem);
} // namespace TestCertificates
