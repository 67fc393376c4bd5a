#include "platform/TransparentProxyManager.h"

#include "platform/MainQueue.h"
#include "platform/ProxyPreferences.h"

#include <QUuid>

namespace {
void complete(TransparentProxyManager::Completion completion, std::optional<PlatformError> error)
{
    if (completion)
        MainQueue::async([completion = std::move(completion), error = std::move(error)] { completion(error); });
}
} // namespace

TransparentProxyManager::TransparentProxyManager(ProxyConfiguration configuration) : m_configuration(std::move(configuration)) {}

TransparentProxyManager::Pointer TransparentProxyManager::create()
{
    return Pointer(new TransparentProxyManager(ProxyConfiguration{}));
}

void TransparentProxyManager::loadAllFromPreferences(LoadAllCompletion completion)
{
    ProxyPreferences::LoadResult loaded = ProxyPreferences::shared().loadAll();
    QList<Pointer> managers;
    for (ProxyConfiguration& configuration : loaded.configurations)
        managers.append(Pointer(new TransparentProxyManager(std::move(configuration))));
    if (completion)
        MainQueue::async([completion = std::move(completion), managers = std::move(managers), error = loaded.error] {
            completion(managers, error);
        });
}

void TransparentProxyManager::loadFromPreferences(Completion completion)
{
    const QString id = identifier();
    if (!id.isEmpty()) {
        const ProxyPreferences::LoadResult loaded = ProxyPreferences::shared().loadAll();
        if (loaded.error) {
            complete(std::move(completion), loaded.error);
            return;
        }
        for (const ProxyConfiguration& stored : loaded.configurations) {
            if (stored.identifier == id) {
                std::lock_guard lock(m_mutex);
                m_configuration = stored;
            }
        }
    }
    complete(std::move(completion), std::nullopt);
}

void TransparentProxyManager::saveToPreferences(Completion completion)
{
    ProxyConfiguration values;
    {
        std::lock_guard lock(m_mutex);
        if (!m_configuration.protocolConfiguration || m_configuration.protocolConfiguration->serverAddress.isEmpty()) {
            complete(std::move(completion),
                     VPNError::make(VPNError::configurationInvalid, QStringLiteral("The configuration has no server address")));
            return;
        }
        if (m_configuration.identifier.isEmpty())
            m_configuration.identifier = QUuid::createUuid().toString(QUuid::WithoutBraces);
        values = m_configuration;
    }
    complete(std::move(completion), ProxyPreferences::shared().save(values));
}

void TransparentProxyManager::removeFromPreferences(Completion completion)
{
    const QString id = identifier();
    if (id.isEmpty()) {
        complete(std::move(completion),
                 VPNError::make(VPNError::configurationInvalid, QStringLiteral("The configuration is not in the network preferences")));
        return;
    }
    auto error = ProxyPreferences::shared().remove(id);
    if (!error)
        TunnelConnection::forgetConfiguration(id);
    complete(std::move(completion), std::move(error));
}

QString TransparentProxyManager::identifier() const
{
    std::lock_guard lock(m_mutex);
    return m_configuration.identifier;
}

std::optional<TunnelProviderProtocol> TransparentProxyManager::protocolConfiguration() const
{
    std::lock_guard lock(m_mutex);
    return m_configuration.protocolConfiguration;
}

void TransparentProxyManager::setProtocolConfiguration(std::optional<TunnelProviderProtocol> protocol)
{
    std::lock_guard lock(m_mutex);
    m_configuration.protocolConfiguration = std::move(protocol);
}

QString TransparentProxyManager::localizedDescription() const
{
    std::lock_guard lock(m_mutex);
    return m_configuration.localizedDescription;
}

void TransparentProxyManager::setLocalizedDescription(const QString& description)
{
    std::lock_guard lock(m_mutex);
    m_configuration.localizedDescription = description;
}

bool TransparentProxyManager::isEnabled() const
{
    std::lock_guard lock(m_mutex);
    return m_configuration.isEnabled;
}

void TransparentProxyManager::setEnabled(bool enabled)
{
    std::lock_guard lock(m_mutex);
    m_configuration.isEnabled = enabled;
}

bool TransparentProxyManager::isOnDemandEnabled() const
{
    std::lock_guard lock(m_mutex);
    return m_configuration.isOnDemandEnabled;
}

void TransparentProxyManager::setOnDemandEnabled(bool enabled)
{
    std::lock_guard lock(m_mutex);
    m_configuration.isOnDemandEnabled = enabled;
}

QList<OnDemandRule> TransparentProxyManager::onDemandRules() const
{
    std::lock_guard lock(m_mutex);
    return m_configuration.onDemandRules;
}

void TransparentProxyManager::setOnDemandRules(const QList<OnDemandRule>& rules)
{
    std::lock_guard lock(m_mutex);
    m_configuration.onDemandRules = rules;
}

ProxyConfiguration TransparentProxyManager::configuration() const
{
    std::lock_guard lock(m_mutex);
    return m_configuration;
}
