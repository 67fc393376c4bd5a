#include "core/ServerTrustManager.h"

ServerTrustManager::ServerTrustManager(const QSet<QString>& disabledEvaluatorHosts)
{
    // Host names are case-insensitive; QUrl hands them out in lower case.
    for (const QString& host : disabledEvaluatorHosts) {
        if (!host.isEmpty())
            m_disabledHosts.insert(host.toLower());
    }
}

bool ServerTrustManager::skipsEvaluation(const QString& host) const
{
    return !host.isEmpty() && m_disabledHosts.contains(host.toLower());
}
