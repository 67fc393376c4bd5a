#pragma once

#include <QString>

// The management server's API addresses: "https://" + the server host + "/Velmora/api/v2/"
// followed by each endpoint's path. Computed once, on first use.
class ApiUrls
{
public:
    ApiUrls() = delete;

    static QString baseUrl();
    static QString getToken();          // user/gettoken: sign-in with password
    static QString activationEmail();   // user/activation/email: sign-in by e-mail
    static QString retrieveToken();     // user/retrievetoken: the e-mail sign-in poll
    static QString selfModerationAdd(); // me/self_moderation/add: add a blocked site
    static QString deactivate();        // me/deactivate: deactivation request
};
