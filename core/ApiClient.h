#pragma once

#include "core/HttpHeaders.h"

#include <QMap>
#include <QString>

#include <memory>

class HttpSession;

// What every management-server request shares: the session, the headers, the device
// parameters, and the address of the unblock-request page.
class ApiClient
{
public:
    ApiClient() = delete;

    static constexpr const char* acceptHeader = "application/json,text/html,text/plain;q=0.8,*/*;q=0.8";

    // "Authorization: Bearer <token>" and the Accept header. The token is the one stored
    // under "authToken" when the headers are asked for, so a request made after a new
    // sign-in carries the new token.
    static HttpHeaders headers();
    // "identifier", "device_id", "os", "app_version", "os_version": computed once per
    // process, on first use, from whichever thread.
    static const QMap<QString, QString>& deviceParameters();
    // The device parameters with the request's own keys added (its keys win).
    static QMap<QString, QString> parameters(const QMap<QString, QString>& own);
    // The one session of all management-server requests, made on first use.
    static HttpSession& session();
    // A new session like session(): the service's bare domain skips certificate
    // evaluation; the roots of NORVANE_EXTRA_CA_CERTS are trusted besides the system's.
    static std::unique_ptr<HttpSession> makeSession();
    // The unblock-request page: the stored e-mail and the Base64 of the computer's name as
    // they are, the activation identifier percent-encoded.
    static QString unblockRequestUrl();
};
