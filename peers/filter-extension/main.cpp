// The filter-extension stand-in, started by the application (no arguments) from
// Contents/Library/SystemExtensions/<name>.systemextension/Contents/MacOS. It serves the
// interprocess link on the service named in its Info.plist and takes commands from tests
// and the demo on its control socket (README.md). SIGTERM or SIGINT end it with status 0.
//
// NORVANE_EXTENSION_USER_DATA: a session JSON file to answer user-data requests with.
#include "AppConnections.h"
#include "ControlCommands.h"
#include "ControlServer.h"
#include "ExtensionInfo.h"
#include "ExtensionService.h"
#include "MessageResponder.h"
#include "PeerLog.h"
#include "ReceivedMessages.h"
#include "DemoSession.h"
#include "RelaxedPolicySettings.h"
#include "RootCertificate.h"
#include "SignalWatcher.h"
#include "UserDataStore.h"

#include "control/UserDataSyncMessage.h"
#include "platform/Bundle.h"
#include "platform/Diagnostics.h"

#include <QCoreApplication>

#include <chrono>
#include <csignal>
#include <cstdlib>

namespace {
constexpr std::chrono::milliseconds connectionCloseTimeout{2000};

int fail(const QString& reason)
{
    peerLog(reason);
    return 1;
}
} // namespace

int main(int argc, char** argv)
{
    SignalWatcher::blockSignals();
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    Diagnostics::setSink([](const QString& line) { peerLog(line); });

    const Bundle bundle = Bundle::main();
    if (!bundle.isValid())
        return fail(QStringLiteral(
                        "The filter extension must run from Contents/MacOS of its bundle (it runs from %1)")
                        .arg(QCoreApplication::applicationDirPath()));
    const std::optional<QString> serviceName = ExtensionInfo::machServiceName(bundle);
    if (!serviceName)
        return fail(QStringLiteral("Mach service name is missing from the Info.plist of %1")
                        .arg(bundle.bundlePath()));
    const QString version = ExtensionInfo::version(bundle);

    QString error;
    const std::optional<QByteArray> certificate = RootCertificate::generatePem(&error);
    if (!certificate)
        return fail(QStringLiteral("Cannot make the root certificate: ") + error);

    UserDataStore userData;
    if (const QString path = qEnvironmentVariable("NORVANE_EXTENSION_USER_DATA"); !path.isEmpty())
        userData.useFile(path);
    UserDataSyncMessage::setSessionDataSource([&userData] { return userData.sessionJson(); });

    RelaxedPolicySettings relaxedPolicy;
    // The demo session asks for a passcode; the demo's is the one that works.
    if (qEnvironmentVariable("NORVANE_EXTENSION_USER_DATA").isEmpty())
        relaxedPolicy.setSettings({true, {}, QString::fromLatin1(DemoSession::relaxedPolicyPasscode)});
    AppConnections connections;
    ReceivedMessages received;
    const MessageResponder responder(relaxedPolicy, *certificate, version);
    ExtensionService service(*serviceName, connections, received, responder);
    ControlCommands commands(
        {connections, received, userData, relaxedPolicy, responder, *serviceName, version});
    ControlServer control(ExtensionInfo::controlSocketPath(bundle),
                          [&commands](const QJsonObject& command, const ControlServer::Answer& answer) {
                              commands.execute(command, answer);
                          });
    connections.setChangeHandler(commands.changeNotifier());
    received.setChangeHandler(commands.changeNotifier());
    PeerLog::shared().setWriteHandler(commands.changeNotifier());

    const SignalWatcher signalWatcher([](int signal) {
        peerLog(QStringLiteral("Signal %1: stopping").arg(signal));
        QCoreApplication::quit();
    });
    int status = 0;
    if (!signalWatcher.isValid()) {
        status = fail(QStringLiteral("Cannot watch for SIGTERM"));
    } else if (!service.start(&error)) {
        status = fail(QStringLiteral("Cannot listen on the service %1: %2").arg(*serviceName, error));
    } else if (!control.listen(&error)) {
        status = fail(QStringLiteral("Cannot open the control channel: ") + error);
    } else {
        peerLog(QStringLiteral(
                    "Norvane filter extension %1 listening on %2 (control channel %3, user data from the %4)")
                    .arg(version, service.socketPath(), control.path(), userData.description()));
        QCoreApplication::exec();
    }

    control.close();
    commands.stop();
    service.stop();
    connections.setChangeHandler(nullptr);
    received.setChangeHandler(nullptr);
    PeerLog::shared().setWriteHandler(nullptr);
    if (!connections.closeAll(connectionCloseTimeout)) {
        // Their threads still use the objects below: leave without destroying them.
        peerLog(QStringLiteral("Some app connections did not close in time; leaving without waiting for them"));
        std::_Exit(status);
    }
    UserDataSyncMessage::setSessionDataSource(nullptr);
    Diagnostics::setSink(nullptr);
    if (status == 0)
        peerLog(QStringLiteral("Stopped"));
    return status;
}
