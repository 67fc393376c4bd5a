#include "platform/TunnelConnection.h"

#include "platform/ExtensionProcess.h"
#include "platform/ProxyPreferences.h"
#include "platform/SystemExtensionManager.h"
#include "platform/TransparentProxyManager.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace {

struct TunnelState
{
    enum class Request { none, started, stopped };
    Request request = Request::none;
    std::chrono::steady_clock::time_point since;
};

std::mutex stateMutex;
std::map<QString, TunnelState>& states()
{
    static std::map<QString, TunnelState> instance;
    return instance;
}
std::chrono::milliseconds connectTimeout{5000};

TunnelState stateOf(const QString& identifier)
{
    std::lock_guard lock(stateMutex);
    const auto it = states().find(identifier);
    return it == states().end() ? TunnelState{} : it->second;
}

void setState(const QString& identifier, TunnelState::Request request)
{
    std::lock_guard lock(stateMutex);
    states()[identifier] = TunnelState{request, std::chrono::steady_clock::now()};
}

QString providerOf(const std::optional<TunnelProviderProtocol>& protocol)
{
    if (protocol && !protocol->providerBundleIdentifier.isEmpty())
        return SystemExtensionManager::findExtensionBundle(protocol->providerBundleIdentifier) ? protocol->providerBundleIdentifier
                                                                                              : QString();
    for (const Bundle& bundle : SystemExtensionManager::extensionBundles())
        if (bundle.infoDictionary().contains(QStringLiteral("NetworkExtension")))
            return bundle.bundleIdentifier();
    return {};
}

} // namespace

void TunnelConnection::setConnectTimeout(std::chrono::milliseconds timeout)
{
    std::lock_guard lock(stateMutex);
    connectTimeout = timeout;
}

void TunnelConnection::forgetConfiguration(const QString& identifier)
{
    std::lock_guard lock(stateMutex);
    states().erase(identifier);
}

QString TunnelConnection::providerBundleIdentifier() const
{
    const auto saved = ProxyPreferences::shared().configuration(m_manager.identifier());
    return providerOf(saved ? saved->protocolConfiguration : m_manager.protocolConfiguration());
}

std::optional<PlatformError> TunnelConnection::startVPNTunnel()
{
    const QString identifier = m_manager.identifier();
    const auto saved = ProxyPreferences::shared().configuration(identifier);
    if (!saved || !saved->protocolConfiguration)
        return VPNError::make(VPNError::configurationInvalid, QStringLiteral("The configuration is not saved in the network preferences"));
    if (!saved->isEnabled)
        return VPNError::make(VPNError::configurationDisabled, QStringLiteral("The configuration is disabled"));
    if (providerOf(saved->protocolConfiguration).isEmpty())
        return VPNError::make(VPNError::connectionFailed, QStringLiteral("No tunnel provider extension is installed"));
    setState(identifier, TunnelState::Request::started);
    return std::nullopt;
}

void TunnelConnection::stopVPNTunnel()
{
    const QString identifier = m_manager.identifier();
    if (!identifier.isEmpty())
        setState(identifier, TunnelState::Request::stopped);
}

VPNStatus TunnelConnection::status() const
{
    const QString identifier = m_manager.identifier();
    const auto saved = ProxyPreferences::shared().configuration(identifier);
    if (!saved || !saved->protocolConfiguration)
        return VPNStatus::invalid;
    const TunnelState state = stateOf(identifier);
    if (state.request == TunnelState::Request::stopped || !saved->isEnabled)
        return VPNStatus::disconnected;
    const bool onDemand = saved->isOnDemandEnabled &&
                          std::any_of(saved->onDemandRules.begin(), saved->onDemandRules.end(),
                                      [](const OnDemandRule& rule) { return rule.isAlwaysConnect(); });
    if (state.request != TunnelState::Request::started && !onDemand)
        return VPNStatus::disconnected;
    const QString provider = providerOf(saved->protocolConfiguration);
    if (!provider.isEmpty() && ExtensionProcess(provider).isRunning())
        return VPNStatus::connected;
    std::chrono::milliseconds timeout;
    {
        std::lock_guard lock(stateMutex);
        timeout = connectTimeout;
    }
    if (state.request == TunnelState::Request::started && std::chrono::steady_clock::now() - state.since < timeout)
        return VPNStatus::connecting;
    return VPNStatus::disconnected;
}
