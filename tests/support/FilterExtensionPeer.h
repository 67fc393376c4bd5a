#pragma once

#include "ChildProcess.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <chrono>
#include <mutex>
#include <optional>

// Drives the filter-extension stand-in (peers/filter-extension) for a test or the demo:
// starts its executable from the application bundle as a child, or attaches to one that
// already runs, and talks to it over its control socket (one JSON line per command and per
// answer). The child inherits this process's environment (HOME, XDG_* and
// NORVANE_RUNTIME_DIR as TestEnvironment set them) plus what start() adds. Commands may come
// from any thread (one at a time); start and stop from the thread that made the object.
class FilterExtensionPeer
{
public:
    static constexpr const char* bundleIdentifier = "org.norvane.filter.mac.extension";
    static constexpr const char* serviceName = "org.norvane.filter.mac.extension.ipc";
    static constexpr std::chrono::milliseconds defaultTimeout{10'000};

    // The extension bundle inside the built application bundle.
    static QString bundlePath();
    // Its executable, named by the bundle's Info.plist.
    static QString executablePath();
    // <runtime directory>/org.norvane.filter.mac.extension.control
    static QString controlSocketPath();
    // <runtime directory>/org.norvane.filter.mac.extension.ipc.sock
    static QString serviceSocketPath();

    FilterExtensionPeer() = default;
    // Stops a child it started (SIGTERM, then SIGKILL); an attached peer keeps running.
    ~FilterExtensionPeer();
    FilterExtensionPeer(const FilterExtensionPeer&) = delete;
    FilterExtensionPeer& operator=(const FilterExtensionPeer&) = delete;

    // Starts the executable with extra environment variables on top of this process's and
    // waits until its control socket answers "ping". False when it exits or stays silent.
    bool start(const QProcessEnvironment& extra = {}, std::chrono::milliseconds timeout = defaultTimeout);
    // Waits until a peer that someone else started answers "ping".
    bool attach(std::chrono::milliseconds timeout = defaultTimeout);
    bool isChildRunning() const;
    qint64 processId() const;

    // Sends one command and reads its answer; nullopt when the peer cannot be reached, closes
    // the channel or answers with no JSON object within timeout.
    std::optional<QJsonObject> command(const QJsonObject& command,
                                       std::chrono::milliseconds timeout = defaultTimeout);
    // The answer's "ok".
    bool succeeds(const QJsonObject& command, std::chrono::milliseconds timeout = defaultTimeout);

    bool ping();
    // Open app connections; -1 when the peer does not answer.
    int clients();
    // Until at least count app connections are open (or have called register:).
    bool waitForClients(int count, bool registered = false,
                        std::chrono::milliseconds timeout = defaultTimeout);
    // Until every app connection has closed.
    bool waitUntilNoClients(std::chrono::milliseconds timeout = defaultTimeout);
    // The messages the app sent so far (see the peer's README for the fields).
    QJsonArray received(bool clear = false);
    // Until at least count messages (of identifier id, when given) have arrived; all of them.
    std::optional<QJsonArray> waitForReceived(int count, std::optional<int> id = std::nullopt,
                                              std::chrono::milliseconds timeout = defaultTimeout);

    // Messages to every connected app; false when none is connected.
    bool sendUrlBlocked(const QString& url, const QString& category, const QString& textTrigger,
                        qint64 count = 1);
    bool sendSync(bool success = true);
    bool sendDisable(const QString& bundlePath = {}, qint32 guiProcessPid = 0);
    // With the PEM file opened for reading; without a handle when pemPath is empty.
    bool sendInstallRootCertFailed(const QString& pemPath = {});

    bool setRelaxedPolicy(bool allow, const QString& text = {}, const QString& passcode = {});
    bool setUserDataFile(const QString& path);
    bool setUserDataJson(const QJsonObject& session);
    // Any text, checked as a file's content is: a JSON object goes out as it is, anything
    // else gets answers without data.
    bool setUserDataText(const QByteArray& text);
    bool useDemoSession();
    // The root certificate the peer made at start, in PEM.
    QString certificatePem();

    // SIGTERM to the child; its exit code once it ends (also when it had ended already),
    // nullopt when it never started, crashed or did not end within timeout (it is killed then).
    std::optional<int> stop(std::chrono::milliseconds timeout = defaultTimeout);
    // SIGKILL to the child, without waiting for anything but its end.
    void kill();

private:
    bool waitForPing(std::chrono::milliseconds timeout);
    bool connectLocked();
    void disconnectLocked();

    mutable ChildProcess m_process;
    bool m_started = false;
    mutable std::mutex m_mutex;
    int m_socket = -1;
    QByteArray m_buffer;
};
