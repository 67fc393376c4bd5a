#include "control/AppDelegate.h"
#include "core/Log.h"
#include "platform/Deployment.h"
#include "platform/Paths.h"
#include "ui/ContentView.h"
#include "ui/Fonts.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the program cleanly with status 0, from the event loop.
void quitOnTerminationSignals(QApplication& app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::exit(0); });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Folders an earlier version left open are made private before anything is written.
    Paths::tightenPrivateFolders();
    // The log first: it also takes the platform layer's reports from here on.
    Log::shared();
    // The window only hides; the program lives in the status area until it quits.
    app.setQuitOnLastWindowClosed(false);
    Fonts::install();
    quitOnTerminationSignals(app);

    AppDelegate::setContentFactory([](SessionObservableObject* sessionModel, LoadingModel* loadingModel) -> QWidget* {
        return new ContentView(sessionModel, loadingModel);
    });
    AppDelegate::Timing timing;
    timing.firstSupervision = Deployment::firstSupervisionDelay();
    timing.supervisionInterval = Deployment::supervisionInterval();
    AppDelegate delegate(timing);
    QObject::connect(&delegate, &AppDelegate::exitRequested, &app, [](int status) { QCoreApplication::exit(status); },
                     Qt::QueuedConnection);
    QTimer::singleShot(0, &delegate, [&delegate] {
        if (!delegate.applicationDidFinishLaunching())
            QCoreApplication::exit(0);
    });
    return app.exec();
}
