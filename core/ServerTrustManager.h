#pragma once

#include <QSet>
#include <QString>

// The hosts whose certificates are not evaluated. Hosts are looked up by their exact
// name: a disabled evaluator for "example.org" does not cover "www.example.org". Every
// other host gets the default evaluation (no host needs an evaluator of its own).
class ServerTrustManager
{
public:
    ServerTrustManager() = default;
    explicit ServerTrustManager(const QSet<QString>& disabledEvaluatorHosts);

    QSet<QString> disabledEvaluatorHosts() const { return m_disabledHosts; }
    bool skipsEvaluation(const QString& host) const;

private:
    QSet<QString> m_disabledHosts;
};
