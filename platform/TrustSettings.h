#pragma once

#include "platform/SecurityStatus.h"

#include <QSslCertificate>

#include <cstdint>

// Trust of certificates, shaped after the trust-settings call of the platform. The user's
// domain is the user's NSS shared database, the one Keychain stores items in.
class TrustSettings
{
public:
    TrustSettings() = delete;

    enum Domain : std::int32_t
    {
        user = 0,
        admin = 1,
        system = 2,
    };

    // With no settings, as here: the stored certificate becomes a root trusted for every use
    // (servers, client authentication, e-mail, code signing). itemNotFound when the
    // certificate is not stored; unimplemented for the admin and system domains, which
    // belong to the administrator's tools on this system; param for anything else;
    // interactionNotAllowed when the user protected the database with a password.
    static OSStatus setTrustSettings(const QSslCertificate& certificate, std::int32_t domain);
};
