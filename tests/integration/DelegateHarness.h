#pragma once

#include "control/AppDelegate.h"

#include "FilterExtensionPeer.h"
#include "ManagementServerPeer.h"
#include "RecordingCommandRunner.h"

#include <QString>

#include <chrono>
#include <memory>

// The application delegate in this process, signed in, against the real extension
// stand-in that its activation starts (detached, as a system extension) and the
// management-server stand-in. Commands run through a recorder, so the tunnel's start shows
// as its "launchctl setenv" line.
class DelegateHarness
{
public:
    DelegateHarness();
    ~DelegateHarness(); // the delegate first, then the extension it started (SIGTERM; it must end)

    static AppDelegate::Timing shortTiming(std::chrono::milliseconds first = std::chrono::milliseconds(100),
                                           std::chrono::milliseconds interval = std::chrono::milliseconds(200));

    // Creates the delegate without launching it.
    AppDelegate& create(AppDelegate::Timing timing = shortTiming());
    // Creates and launches the delegate; false when launching fails.
    bool launch(AppDelegate::Timing timing = shortTiming());
    // Launched, the extension running and attached, the link registered.
    bool launchAndRegister(AppDelegate::Timing timing = shortTiming());
    AppDelegate& delegate() { return *m_delegate; }
    void destroyDelegate() { m_delegate.reset(); }
    FilterExtensionPeer& extension() { return m_extension; }

    // Log entries of this process containing the text.
    static int logCount(const QString& text);
    static bool waitForLogCount(const QString& text, int count, int milliseconds = 30000);
    // Until the proxy is configured, enabled and connected, the link registered, and two
    // more runs have passed: an activation asked for by a run that came before the first
    // configuration was done has been carried out by then (it needs only the event loop).
    bool settle();
    // Until the delegate has made at least count supervision runs.
    bool waitForRuns(int count, int milliseconds = 30000);
    // Times the tunnel was started (each start after an activation runs the setenv line).
    int tunnelStarts() const;
    // Messages of the identifier that the extension received from us so far.
    int receivedCount(int id);

    static const QString registered; // "Gui client registered in IPC"

private:
    ManagementServerPeer m_server;
    std::shared_ptr<RecordingCommandRunner> m_recorder;
    FilterExtensionPeer m_extension;
    std::unique_ptr<AppDelegate> m_delegate;
};
