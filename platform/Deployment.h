#pragma once

#include <QString>

#include <chrono>

// Deployment settings: fixed for a release, overridable through NORVANE_* environment
// variables so that tests and the demo can point the program at the peers on loopback.
// This is the one place (with Paths' XDG look-ups) that reads the environment.
namespace Deployment {

// Host of the management server's API and web pages ("host" or "host:port").
QString serverHost();           // NORVANE_SERVER_HOST
// The service's own bare domain: the one host whose certificate is not evaluated.
QString serviceDomain();        // NORVANE_SERVICE_DOMAIN
// PEM files with extra trusted roots (colon separated), for peers with generated certificates.
QString extraCaCertificates();  // NORVANE_EXTRA_CA_CERTS
// Folder of the interprocess sockets.
QString runtimeDirectory();     // NORVANE_RUNTIME_DIR, else $XDG_RUNTIME_DIR/norvane
// Crash-reporter DSN.
QString sentryDsn();            // NORVANE_SENTRY_DSN
// The proxy supervision: first run after the proxy is configured, then every interval.
std::chrono::milliseconds firstSupervisionDelay(); // NORVANE_FIRST_SUPERVISION_MS, 10 s
std::chrono::milliseconds supervisionInterval();   // NORVANE_SUPERVISION_INTERVAL_MS, 30 s

} // namespace Deployment
