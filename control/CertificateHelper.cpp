#include "control/CertificateHelper.h"

#include "core/Device.h"
#include "core/Log.h"
#include "platform/Keychain.h"
#include "platform/TrustSettings.h"

#include <QOperatingSystemVersion>
#include <QSslKey>
#include <QStringDecoder>

#include <chrono>

namespace {
// A root certificate's PEM is a few KiB; anything near this size is not one.
constexpr qsizetype maximumPemSize = 1024 * 1024;
constexpr std::chrono::seconds readTimeout{10};

QString label()
{
    return QString::fromLatin1(CertificateHelper::keychainLabel);
}

// The trust command of macOS 26 and later; every other system takes the trust-settings path.
bool hasTrustCommand()
{
    const auto current = QOperatingSystemVersion::current();
    return current.type() == QOperatingSystemVersion::MacOS &&
           current >= QOperatingSystemVersion(QOperatingSystemVersion::MacOS, 26, 0);
}

QString keychainPath(std::int32_t domain)
{
    return domain != 0 ? QStringLiteral("/Library/Keychains/System.keychain")
                       : QStringLiteral("/Library/Keychains/login.keychain");
}

std::optional<QString> decodeUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}
} // namespace

std::optional<QSslCertificate> CertificateHelper::certificateFromPem(const QString& text)
{
    QString base64 = text;
    base64.remove(QStringLiteral("-----BEGIN CERTIFICATE-----"));
    base64.remove(QStringLiteral("-----END CERTIFICATE-----"));
    base64.remove(QLatin1Char('\n'));
    const QByteArray der = QByteArray::fromBase64(base64.trimmed().toUtf8());
    if (der.isEmpty())
        return std::nullopt;
    QSslCertificate certificate(der, QSsl::Der);
    if (certificate.isNull())
        return std::nullopt;
    return certificate;
}

bool CertificateHelper::publicKeysEqual(const QSslCertificate& a, const QSslCertificate& b)
{
    const QSslKey keyA = a.publicKey();
    const QSslKey keyB = b.publicKey();
    if (keyA.isNull() || keyB.isNull())
        return false;
    return keyA.toDer() == keyB.toDer();
}

bool installRootCertificate(std::int32_t domain, const SharedFileHandle& handle, const QString& pemPath)
{
    SharedFileHandle source = handle;
    if (!source) {
        log(QStringLiteral("Trying shared path"));
        const QString sharedPath = QString::fromLatin1(CertificateHelper::sharedCertificatePath);
        FileHandle shared = FileHandle::openForReading(sharedPath);
        if (!shared.isValid()) {
            log(QStringLiteral("Install root certificate ERROR can't read shared cert ") + sharedPath +
                QLatin1Char('.'));
            return false;
        }
        source = std::make_shared<const FileHandle>(std::move(shared));
    }
    QString failure;
    const std::optional<QByteArray> bytes = source->readToEnd(maximumPemSize, readTimeout, &failure);
    if (!bytes) {
        // This runs on the link's delivery thread: a handle that never ends must not hold it.
        log(QStringLiteral("Install root certificate ERROR can't read the certificate: ") + failure);
        return false;
    }
    const std::optional<QString> pem = decodeUtf8(*bytes);
    if (!pem)
        return false;
    const std::optional<QSslCertificate> certificate = CertificateHelper::certificateFromPem(*pem);
    if (!certificate)
        return false;

    QSslCertificate stored;
    if (Keychain::copyCertificate(label(), &stored) == SecurityStatus::success && !stored.isNull()) {
        const bool matching = CertificateHelper::publicKeysEqual(stored, *certificate);
        log(QStringLiteral("Old and new certirifate matching: ") +
            (matching ? QStringLiteral("true") : QStringLiteral("false")));
        if (matching)
            return false;
    } else {
        log(QStringLiteral("Can't obtain stored certifictate, force rewriting"));
    }
    removeRootCertificate();
    if (Keychain::addCertificate(*certificate, label()) != SecurityStatus::success)
        return false;
    return trustRootCertificate(pemPath, certificate, domain);
}

bool trustRootCertificate(const QString& pemPath, const std::optional<QSslCertificate>& certificate,
                          std::int32_t domain)
{
    const QString verifyOutput =
        runConsoleCommand(QStringLiteral("security verify-cert -c \"%1\"").arg(pemPath), true);
    log(QStringLiteral("Trusted command returns: ") + verifyOutput);
    if (verifyOutput.contains(QStringLiteral("..certificate verification successful"))) {
        log(QStringLiteral("Cert is already trusted"));
        return true;
    }
    if (hasTrustCommand()) {
        const QString output = runConsoleCommand(
            QStringLiteral("security add-trusted-cert -d -r trustRoot -k \"%1\" \"%2\"").arg(keychainPath(domain), pemPath),
            true);
        if (!output.isEmpty()) {
            log(QStringLiteral("Install root certificate trust failed. ") + output);
            return false;
        }
        return true;
    }
    if (!certificate)
        return false;
    const OSStatus status = TrustSettings::setTrustSettings(*certificate, domain);
    if (status != SecurityStatus::success) {
        log(QStringLiteral("Install root certificate trust error with status ") + QString::number(status));
        return false;
    }
    log(QStringLiteral("Install root certificate trust success with status ") + QString::number(status));
    return true;
}

void removeRootCertificate()
{
    const OSStatus status = Keychain::deleteCertificates(label());
    if (status == SecurityStatus::success)
        log(QStringLiteral("Remove root certificate success"));
    else
        log(QStringLiteral("Remove root certificate ERROR ") + QString::number(status) + QLatin1Char('.'));
}
