#pragma once

#include "control/RelaxedPolicyMessage.h"

#include <QString>

#include <mutex>

// How the stand-in answers the application's relaxed-policy requests. Any thread.
class RelaxedPolicySettings
{
public:
    struct Settings
    {
        bool allow = true;
        // Sent with the answer, granted or refused; the application shows a refusal's text.
        QString text;
        // When not empty, a request must carry exactly this passcode.
        QString passcode;
    };

    // Refusal text for a request without the configured passcode.
    static const QString wrongPasscodeText; // "Incorrect passcode"
    // Answer text when the application gives the policy up.
    static const QString endedText; // "Relaxed policy ended"

    Settings settings() const;
    void setSettings(const Settings& settings);

    // The answer to one request: for enable, granted or refused by the settings (a wrong
    // passcode is always refused); for giving up, not allowed, with endedText.
    RelaxedPolicyMessage answer(const RelaxedPolicyMessage& request) const;

private:
    mutable std::mutex m_mutex;
    Settings m_settings;
};
