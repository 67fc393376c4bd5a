// The management-server stand-in for tests and the demo.
//
//   management_server <certificate.pem> [--port N]
//
// Makes a key and a self-signed certificate for 127.0.0.1 and localhost, writes the
// certificate's PEM to the given path, listens with HTTPS on 127.0.0.1 (a free port
// unless --port names one) and prints the port on one line once it is ready.
#include "AdminRoutes.h"
#include "AnswerScript.h"
#include "ApiRoutes.h"
#include "DemoAccounts.h"
#include "FilterTestPage.h"
#include "RecordedRequests.h"
#include "Router.h"
#include "SelfSignedCertificate.h"
#include "UpdateFeed.h"
#include "UpdateRoutes.h"

#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

int main(int argc, char** argv)
{
    std::string pemPath;
    int port = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--port" && i + 1 < argc)
            port = std::atoi(argv[++i]);
        else
            pemPath = argument;
    }
    if (pemPath.empty()) {
        std::fprintf(stderr, "usage: %s <certificate.pem> [--port N]\n", argv[0]);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);

    try {
        const SelfSignedCertificate certificate({{"127.0.0.1"}, {"localhost"}});
        if (!certificate.writeCertificatePem(pemPath)) {
            std::fprintf(stderr, "management_server: cannot write %s\n", pemPath.c_str());
            return 1;
        }

        httplib::SSLServer server(certificate.certificate(), certificate.privateKey());
        if (!server.is_valid()) {
            std::fprintf(stderr, "management_server: TLS set-up failed\n");
            return 1;
        }
        server.set_keep_alive_max_count(1000);
        server.set_keep_alive_timeout(60);

        AnswerScript script;
        RecordedRequests records;
        DemoAccounts accounts;
        Router router(script, records);
        AdminRoutes::install(server, script, records, accounts);
        ApiRoutes::install(router, accounts);
        UpdateFeed feed;
        UpdateRoutes::install(server, router, feed);
        FilterTestPage filterTestPage;
        filterTestPage.install(server, router);
        router.install(server);

        const std::string host = "127.0.0.1";
        if (port > 0) {
            if (!server.bind_to_port(host, port)) {
                std::fprintf(stderr, "management_server: cannot listen on %s:%d\n", host.c_str(), port);
                return 1;
            }
        } else {
            port = server.bind_to_any_port(host);
            if (port < 0) {
                std::fprintf(stderr, "management_server: cannot listen on %s\n", host.c_str());
                return 1;
            }
        }
        std::printf("%d\n", port);
        std::fflush(stdout);
        return server.listen_after_bind() ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "management_server: %s\n", error.what());
        return 1;
    }
}
