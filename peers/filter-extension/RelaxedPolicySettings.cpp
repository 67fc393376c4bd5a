#include "RelaxedPolicySettings.h"

const QString RelaxedPolicySettings::wrongPasscodeText = QStringLiteral("Incorrect passcode");
const QString RelaxedPolicySettings::endedText = QStringLiteral("Relaxed policy ended");

RelaxedPolicySettings::Settings RelaxedPolicySettings::settings() const
{
    std::lock_guard lock(m_mutex);
    return m_settings;
}

void RelaxedPolicySettings::setSettings(const Settings& settings)
{
    std::lock_guard lock(m_mutex);
    m_settings = settings;
}

RelaxedPolicyMessage RelaxedPolicySettings::answer(const RelaxedPolicyMessage& request) const
{
    const Settings current = settings();
    RelaxedPolicyMessage answer;
    answer.enable = request.enable;
    if (!request.enable) {
        answer.allowed = false;
        answer.messageOrPasscode = endedText;
    } else if (!current.passcode.isEmpty() && request.messageOrPasscode != current.passcode) {
        answer.allowed = false;
        answer.messageOrPasscode = wrongPasscodeText;
    } else {
        answer.allowed = current.allow;
        answer.messageOrPasscode = current.text;
    }
    return answer;
}
