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

// Filter tests. The blocking test requests "https://" + filterTestHost(); the page there
// carries filterTestMarker() when the request went through the working filter. With DNS
// filtering on, the DNS test host resolves to the block page's address.
QString filterTestHost();       // NORVANE_FILTER_TEST_HOST
QString filterTestMarker();     // NORVANE_FILTER_TEST_MARKER (23 characters)
QString dnsTestHost();          // NORVANE_DNS_TEST_HOST
QString blockPageHost();        // NORVANE_BLOCK_PAGE_HOST
// Safe-search enforcement: the providers' ordinary web hosts, and the hosts they publish
// for enforcing safe search at the network level.
QString googleHost();           // NORVANE_GOOGLE_HOST
QString googleSafeSearchHost(); // NORVANE_GOOGLE_SAFE_SEARCH_HOST
QString bingHost();             // NORVANE_BING_HOST
QString bingStrictHost();       // NORVANE_BING_STRICT_HOST
QString youtubeHost();          // NORVANE_YOUTUBE_HOST
QString youtubeModerateHost();  // NORVANE_YOUTUBE_MODERATE_HOST

// Help and support.
QString websiteUrl();           // NORVANE_WEBSITE_URL
QString knowledgeBaseUrl();     // NORVANE_KNOWLEDGE_BASE_URL
QString releaseNotesUrl();      // NORVANE_RELEASE_NOTES_URL
QString supportEmail();         // NORVANE_SUPPORT_EMAIL
QString supportTelephone();     // NORVANE_SUPPORT_TELEPHONE

} // namespace Deployment
