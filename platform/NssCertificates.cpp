#include "platform/NssCertificates.h"

#include "platform/NssHeaders.h"

namespace NssCertificates {

bool forEachWithNickname(PK11SlotInfo* slot, const QString& label,
                         const std::function<bool(CERTCertificate*)>& visit)
{
    CERTCertList* list = PK11_ListCertsInSlot(slot);
    if (!list)
        return false;
    const QByteArray nickname = label.toUtf8();
    for (CERTCertListNode* node = CERT_LIST_HEAD(list); !CERT_LIST_END(node, list); node = CERT_LIST_NEXT(node)) {
        if (node->cert->nickname && nickname == node->cert->nickname && !visit(node->cert))
            break;
    }
    CERT_DestroyCertList(list);
    return true;
}

CERTCertificate* findStored(PK11SlotInfo* slot, const QByteArray& der)
{
    SECItem item{siBuffer, reinterpret_cast<unsigned char*>(const_cast<char*>(der.constData())),
                 static_cast<unsigned int>(der.size())};
    return PK11_FindCertFromDERCertItem(slot, &item, nullptr);
}

QSslCertificate toQt(const CERTCertificate* certificate)
{
    const QByteArray der(reinterpret_cast<const char*>(certificate->derCert.data),
                         static_cast<qsizetype>(certificate->derCert.len));
    return QSslCertificate(der, QSsl::Der);
}

} // namespace NssCertificates
