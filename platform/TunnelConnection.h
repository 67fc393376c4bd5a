#pragma once

#include "platform/PlatformError.h"

#include <QString>

#include <chrono>
#include <optional>

class TransparentProxyManager;

// The platform's tunnel states, with its numeric values.
enum class VPNStatus : int {
    invalid = 0,
    disconnected = 1,
    connecting = 2,
    connected = 3,
    reasserting = 4,
    disconnecting = 5,
};

// The connection of one transparent-proxy configuration. The tunnel's provider is the
// network extension process (the configuration's provider bundle identifier, or the
// network extension in the main bundle); the connection knows that it runs from the
// extension's pid file (see ExtensionProcess and docs/system-extension.md).
//
// The state belongs to the saved configuration, not to this object: every manager loaded
// for the same configuration in this process sees the same status.
// - invalid: the configuration is not in the network preferences;
// - disconnected: stopped, never started (and not on demand), disabled, or the provider
//   is not running (after the connect timeout of a start);
// - connecting: started within the connect timeout and the provider is not running yet;
// - connected: started, or saved enabled with an always-connect on-demand rule, and the
//   provider runs.
// Any thread may use it.
class TunnelConnection
{
public:
    explicit TunnelConnection(const TransparentProxyManager& manager) : m_manager(manager) {}

    // Fails with a VPNError when the configuration is not saved, is disabled, or has no
    // provider extension.
    [[nodiscard]] std::optional<PlatformError> startVPNTunnel();
    void stopVPNTunnel();
    VPNStatus status() const;

    // The provider extension whose process carries the tunnel; empty when there is none.
    QString providerBundleIdentifier() const;

    static void setConnectTimeout(std::chrono::milliseconds timeout);
    // Forgets the start/stop state of a configuration (it left the preferences).
    static void forgetConfiguration(const QString& identifier);

private:
    const TransparentProxyManager& m_manager;
};
