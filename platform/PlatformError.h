#pragma once

#include <QString>

// An error as the platform reports it: a domain, a numeric code and a text for the user.
class PlatformError
{
public:
    PlatformError(QString domain, int code, QString localizedDescription)
        : m_domain(std::move(domain)), m_code(code), m_localizedDescription(std::move(localizedDescription))
    {
    }

    QString domain() const { return m_domain; }
    int code() const { return m_code; }
    QString localizedDescription() const { return m_localizedDescription; }
    // The full text form: Error Domain=<domain> Code=<code> "<text>" UserInfo={NSLocalizedDescription=<text>}
    QString description() const;

    bool operator==(const PlatformError& other) const = default;

private:
    QString m_domain;
    int m_code;
    QString m_localizedDescription;
};
