#pragma once

#include "ControlServer.h"

#include "platform/SerialQueue.h"

#include <QJsonObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <memory>

class AppConnections;
class IpcMessage;
class MessageResponder;
class QObject;
class QTimer;
class ReceivedMessages;
class RelaxedPolicySettings;
class UserDataStore;

// The commands of the control channel (README.md lists them). Runs on the main thread;
// messages to the application go out on a queue of their own, so a burst that fills the
// link never holds up the control channel or the signal handling.
class ControlCommands
{
public:
    struct Parts
    {
        AppConnections& connections;
        ReceivedMessages& received;
        UserDataStore& userData;
        RelaxedPolicySettings& relaxedPolicy;
        const MessageResponder& responder;
        QString serviceName;
        QString version;
    };

    static constexpr std::chrono::milliseconds defaultWaitTimeout{10'000};

    explicit ControlCommands(Parts parts);
    ~ControlCommands();
    ControlCommands(const ControlCommands&) = delete;
    ControlCommands& operator=(const ControlCommands&) = delete;

    void execute(const QJsonObject& command, const ControlServer::Answer& answer);
    // To call, from any thread, when the connections, the received messages or the log change.
    std::function<void()> changeNotifier() const;
    // Ends a burst of messages still being sent; before shutting down.
    void stop() { m_stopping = true; }

private:
    struct Wait
    {
        std::function<bool()> done;
        std::function<QJsonObject(bool done)> result;
        ControlServer::Answer answer;
        QTimer* timer = nullptr;
    };

    QJsonObject clients() const;
    QJsonObject received(const QJsonObject& command);
    QJsonObject setRelaxedPolicy(const QJsonObject& command);
    QJsonObject setUserData(const QJsonObject& command);
    QJsonObject userData() const;
    void urlBlocked(const QJsonObject& command, const ControlServer::Answer& answer);
    void sendToApp(std::shared_ptr<IpcMessage> message, const ControlServer::Answer& answer);
    void installRootCertFailed(const QJsonObject& command, const ControlServer::Answer& answer);
    void wait(const QJsonObject& command, std::function<bool()> done, std::function<QJsonObject(bool)> result,
              const ControlServer::Answer& answer);
    void checkWaits();
    void finish(std::list<Wait>::iterator wait, bool done);

    Parts m_parts;
    std::unique_ptr<QObject> m_context;        // the timers' parent
    std::shared_ptr<ControlCommands*> m_alive; // what the change notifier reaches us through
    std::list<Wait> m_waits;
    std::atomic<bool> m_stopping{false}; // ends a burst of messages early
    SerialQueue m_sender{QStringLiteral("control sender")};
};
