#pragma once

#include <QByteArray>
#include <QSslCertificate>
#include <QString>

#include <functional>

typedef struct CERTCertificateStr CERTCertificate;
typedef struct PK11SlotInfoStr PK11SlotInfo;

// Small helpers over the certificates of one open NssDatabase (platform/ only).
namespace NssCertificates {
// Calls visit with each certificate of the slot whose nickname is label, in the slot's order,
// until it returns false. False when the slot cannot be listed.
bool forEachWithNickname(PK11SlotInfo* slot, const QString& label,
                         const std::function<bool(CERTCertificate*)>& visit);
// The stored certificate with these DER bytes, or nullptr; the caller destroys it.
CERTCertificate* findStored(PK11SlotInfo* slot, const QByteArray& der);
QSslCertificate toQt(const CERTCertificate* certificate);
} // namespace NssCertificates
