#include "platform/PlatformError.h"

QString PlatformError::description() const
{
    // Concatenated rather than arg()-formatted: the texts may hold "%1" themselves.
    return QStringLiteral("Error Domain=") + m_domain + QStringLiteral(" Code=") + QString::number(m_code) +
           QStringLiteral(" \"") + m_localizedDescription + QStringLiteral("\" UserInfo={NSLocalizedDescription=") +
           m_localizedDescription + QLatin1Char('}');
}
