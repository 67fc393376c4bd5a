#include "ControlCommands.h"

#include "AppConnections.h"
#include "MessageResponder.h"
#include "MessageSender.h"
#include "PeerLog.h"
#include "ReceivedMessages.h"
#include "RelaxedPolicySettings.h"
#include "UserDataStore.h"

#include "control/DisableMessage.h"
#include "control/InstallRootCertFailedMessage.h"
#include "control/SyncMessage.h"
#include "control/UrlBlockedMessage.h"
#include "platform/MainQueue.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <limits>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString okKey = QStringLiteral("ok");
constexpr qint64 maximumUrlBlockedCount = 10'000'000;

QJsonObject ok(QJsonObject object = {})
{
    object.insert(okKey, true);
    return object;
}

QString text(const QJsonObject& command, const char* key)
{
    return command.value(QLatin1String(key)).toString();
}

// A whole number in [minimum, maximum], the fallback when absent; nullopt for anything else.
std::optional<qint64> wholeNumber(const QJsonObject& command, const char* key, qint64 fallback,
                                  qint64 minimum, qint64 maximum)
{
    const QJsonValue value = command.value(QLatin1String(key));
    if (value.isUndefined())
        return fallback;
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (number != double(qint64(number)) || number < double(minimum) || number > double(maximum))
        return std::nullopt;
    return qint64(number);
}

// A pipe already holding bytes (they must fit the pipe's buffer), read end open for reading.
FileHandle pipeHolding(const QByteArray& bytes)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return FileHandle();
    FileHandle readEnd(ends[0]);
    const FileHandle writeEnd(ends[1]);
    if (!writeEnd.write(bytes))
        return FileHandle();
    return readEnd;
}

} // namespace

ControlCommands::ControlCommands(Parts parts)
    : m_parts(std::move(parts)), m_context(std::make_unique<QObject>()),
      m_alive(std::make_shared<ControlCommands*>(this))
{
}

ControlCommands::~ControlCommands()
{
    stop();
}

std::function<void()> ControlCommands::changeNotifier() const
{
    // Called from threads that may outlive this object, so it holds nothing of it but a weak
    // token; the check runs on the main thread, where the object also ends.
    return [alive = std::weak_ptr<ControlCommands*>(m_alive)] {
        MainQueue::async([alive] {
            if (const auto self = alive.lock())
                (*self)->checkWaits();
        });
    };
}

void ControlCommands::execute(const QJsonObject& command, const ControlServer::Answer& answer)
{
    const QString name = text(command, "cmd");
    if (name == QLatin1String("ping")) {
        answer(ok({{QStringLiteral("pid"), qint64(::getpid())},
                   {QStringLiteral("serviceName"), m_parts.serviceName},
                   {QStringLiteral("version"), m_parts.version}}));
    } else if (name == QLatin1String("clients")) {
        answer(clients());
    } else if (name == QLatin1String("waitClients")) {
        const auto count = wholeNumber(command, "count", 1, 0, 1'000'000);
        if (!count)
            return answer(ControlServer::error(QStringLiteral("\"count\" must be a whole number")));
        const bool registered = command.value(QStringLiteral("registered")).toBool();
        const bool atMost = command.value(QStringLiteral("atMost")).toBool();
        auto done = [this, count = *count, registered, atMost] {
            const int current =
                registered ? m_parts.connections.registeredCount() : m_parts.connections.count();
            return atMost ? current <= count : current >= count;
        };
        wait(
            command, done, [this](bool) { return clients(); }, answer);
    } else if (name == QLatin1String("received")) {
        answer(received(command));
    } else if (name == QLatin1String("waitReceived")) {
        const auto count = wholeNumber(command, "count", 1, 0, ReceivedMessages::maximumCount);
        const auto id = wholeNumber(command, "id", -1, -32768, 32767);
        if (!count || !id)
            return answer(ControlServer::error(QStringLiteral("\"count\" and \"id\" must be whole numbers")));
        const bool anyId = !command.contains(QStringLiteral("id"));
        auto done = [this, count = *count, id = *id, anyId] {
            const QList<ReceivedMessage> all = m_parts.received.all();
            return std::count_if(all.cbegin(), all.cend(),
                                 [&](const ReceivedMessage& m) { return anyId || m.id == id; }) >= count;
        };
        wait(
            command, done, [this](bool) { return received({}); }, answer);
    } else if (name == QLatin1String("waitLog")) {
        const QString part = text(command, "text");
        if (part.isEmpty())
            return answer(ControlServer::error(QStringLiteral("\"text\" must be a text that is not empty")));
        auto matching = [part] {
            const QStringList lines = PeerLog::shared().lines();
            const auto line = std::find_if(lines.cbegin(), lines.cend(),
                                           [&](const QString& l) { return l.contains(part); });
            return line == lines.cend() ? std::optional<QString>() : std::optional<QString>(*line);
        };
        wait(
            command, [matching] { return matching().has_value(); },
            [matching](bool) {
                return ok({{QStringLiteral("line"), matching().value_or(QString())}});
            },
            answer);
    } else if (name == QLatin1String("clearReceived")) {
        m_parts.received.clear();
        answer(ok());
    } else if (name == QLatin1String("urlBlocked")) {
        urlBlocked(command, answer);
    } else if (name == QLatin1String("sync")) {
        auto message = std::make_shared<SyncMessage>();
        message->isSyncSuccessfull = command.value(QStringLiteral("success")).toBool(true);
        sendToApp(std::move(message), answer);
    } else if (name == QLatin1String("installRootCertFailed")) {
        installRootCertFailed(command, answer);
    } else if (name == QLatin1String("disable")) {
        const auto pid = wholeNumber(command, "guiProcessPid", 0, std::numeric_limits<qint32>::min(),
                                     std::numeric_limits<qint32>::max());
        if (!pid)
            return answer(
                ControlServer::error(QStringLiteral("\"guiProcessPid\" must be a 32-bit whole number")));
        auto message = std::make_shared<DisableMessage>();
        message->bundlePath = text(command, "bundlePath");
        message->guiProcessPid = qint32(*pid);
        sendToApp(std::move(message), answer);
    } else if (name == QLatin1String("setRelaxedPolicy")) {
        answer(setRelaxedPolicy(command));
    } else if (name == QLatin1String("setUserData")) {
        answer(setUserData(command));
    } else if (name == QLatin1String("userData")) {
        answer(userData());
    } else if (name == QLatin1String("certificate")) {
        answer(ok({{QStringLiteral("pem"), QString::fromLatin1(m_parts.responder.certificatePem())}}));
    } else if (name == QLatin1String("log")) {
        answer(ok({{QStringLiteral("lines"), QJsonArray::fromStringList(PeerLog::shared().lines())}}));
    } else {
        answer(ControlServer::error(QStringLiteral("unknown command \"%1\"").arg(name)));
    }
}

QJsonObject ControlCommands::clients() const
{
    QJsonArray pids;
    for (const pid_t pid : m_parts.connections.processIdentifiers())
        pids.append(qint64(pid));
    return ok({{QStringLiteral("clients"), m_parts.connections.count()},
               {QStringLiteral("registered"), m_parts.connections.registeredCount()},
               {QStringLiteral("pids"), pids}});
}

QJsonObject ControlCommands::received(const QJsonObject& command)
{
    QJsonArray messages;
    for (const ReceivedMessage& message : m_parts.received.all())
        messages.append(message.toJson());
    if (command.value(QStringLiteral("clear")).toBool())
        m_parts.received.clear();
    return ok({{QStringLiteral("messages"), messages}});
}

QJsonObject ControlCommands::setRelaxedPolicy(const QJsonObject& command)
{
    RelaxedPolicySettings::Settings settings = m_parts.relaxedPolicy.settings();
    if (command.contains(QStringLiteral("allow")))
        settings.allow = command.value(QStringLiteral("allow")).toBool();
    if (command.contains(QStringLiteral("text")))
        settings.text = text(command, "text");
    if (command.contains(QStringLiteral("passcode")))
        settings.passcode = text(command, "passcode");
    m_parts.relaxedPolicy.setSettings(settings);
    return ok({{QStringLiteral("allow"), settings.allow},
               {QStringLiteral("text"), settings.text},
               {QStringLiteral("passcode"), settings.passcode}});
}

QJsonObject ControlCommands::setUserData(const QJsonObject& command)
{
    const QJsonValue path = command.value(QStringLiteral("path"));
    const QJsonValue json = command.value(QStringLiteral("json"));
    if (path.isString()) {
        m_parts.userData.useFile(path.toString());
    } else if (json.isObject()) {
        m_parts.userData.useJson(QJsonDocument(json.toObject()).toJson(QJsonDocument::Compact));
    } else if (json.isString()) {
        // Checked like a file's content: a test can hand over objects the app must refuse.
        m_parts.userData.useJson(json.toString().toUtf8());
    } else if (path.isUndefined() && json.isUndefined()) {
        m_parts.userData.useDemoSession();
    } else {
        return ControlServer::error(QStringLiteral("\"path\" must be a text, \"json\" an object or a text"));
    }
    peerLog(QStringLiteral("User data now from the ") + m_parts.userData.description());
    return ok({{QStringLiteral("source"), m_parts.userData.description()}});
}

QJsonObject ControlCommands::userData() const
{
    QString failure;
    const std::optional<QByteArray> json = m_parts.userData.sessionJson(&failure);
    QJsonObject answer{{okKey, json.has_value()}, {QStringLiteral("source"), m_parts.userData.description()}};
    if (json)
        answer.insert(QStringLiteral("data"), QJsonDocument::fromJson(*json).object());
    else
        answer.insert(QStringLiteral("error"), failure);
    return answer;
}

void ControlCommands::urlBlocked(const QJsonObject& command, const ControlServer::Answer& answer)
{
    const auto count = wholeNumber(command, "count", 1, 1, maximumUrlBlockedCount);
    if (!count)
        return answer(ControlServer::error(
            QStringLiteral("\"count\" must be a whole number from 1 to %1").arg(maximumUrlBlockedCount)));
    if (m_parts.connections.count() == 0)
        return answer(ControlServer::error(QStringLiteral("no app connection")));
    auto message = std::make_shared<UrlBlockedMessage>();
    message->url = text(command, "url");
    message->category = text(command, "category");
    message->textTrigger = text(command, "textTrigger");
    m_sender.async([this, message, count = *count, answer] {
        QElapsedTimer timer;
        timer.start();
        const int clients = MessageSender::sendRepeatedly(m_parts.connections, *message, count, m_stopping);
        const qint64 elapsed = timer.nsecsElapsed();
        MainQueue::async([answer, clients, count, elapsed] {
            if (clients == 0)
                return answer(ControlServer::error(QStringLiteral("no app connection")));
            answer(ok({{QStringLiteral("count"), count},
                       {QStringLiteral("clients"), clients},
                       {QStringLiteral("queuedInMs"), double(elapsed) / 1e6}}));
        });
    });
}

void ControlCommands::sendToApp(std::shared_ptr<IpcMessage> message, const ControlServer::Answer& answer)
{
    if (m_parts.connections.count() == 0)
        return answer(ControlServer::error(QStringLiteral("no app connection")));
    m_sender.async([this, message = std::move(message), answer] {
        const int clients = MessageSender::sendToAll(m_parts.connections, *message);
        peerLog(QStringLiteral("Sent %1 to %2 app connection(s)")
                    .arg(ipcMessageIdName(message->id()))
                    .arg(clients));
        MainQueue::async([answer, clients] {
            answer(clients > 0 ? ok({{QStringLiteral("clients"), clients}})
                               : ControlServer::error(QStringLiteral("no app connection")));
        });
    });
}

void ControlCommands::installRootCertFailed(const QJsonObject& command, const ControlServer::Answer& answer)
{
    auto message = std::make_shared<InstallRootCertFailedMessage>();
    const QString pemPath = text(command, "pemPath");
    if (!pemPath.isEmpty()) {
        FileHandle handle = FileHandle::openForReading(pemPath);
        if (!handle.isValid())
            return answer(ControlServer::error(QStringLiteral("cannot open %1 for reading").arg(pemPath)));
        message->handle = std::make_shared<const FileHandle>(std::move(handle));
    } else if (command.value(QStringLiteral("ownCertificate")).toBool()) {
        FileHandle handle = pipeHolding(m_parts.responder.certificatePem());
        if (!handle.isValid())
            return answer(ControlServer::error(QStringLiteral("cannot make a pipe for the certificate")));
        message->handle = std::make_shared<const FileHandle>(std::move(handle));
    }
    sendToApp(std::move(message), answer);
}

void ControlCommands::wait(const QJsonObject& command, std::function<bool()> done,
                           std::function<QJsonObject(bool)> result, const ControlServer::Answer& answer)
{
    const auto timeout = wholeNumber(command, "timeoutMs", defaultWaitTimeout.count(), 0, 600'000);
    if (!timeout)
        return answer(ControlServer::error(QStringLiteral("\"timeoutMs\" must be a whole number")));
    if (done())
        return answer(result(true));
    m_waits.push_back(Wait{std::move(done), std::move(result), answer, new QTimer(m_context.get())});
    const auto entry = std::prev(m_waits.end());
    entry->timer->setSingleShot(true);
    QObject::connect(entry->timer, &QTimer::timeout, m_context.get(),
                     [this, entry] { finish(entry, false); });
    entry->timer->start(std::chrono::milliseconds(*timeout));
}

void ControlCommands::checkWaits()
{
    for (auto entry = m_waits.begin(); entry != m_waits.end();) {
        const auto next = std::next(entry);
        if (entry->done())
            finish(entry, true);
        entry = next;
    }
}

void ControlCommands::finish(std::list<Wait>::iterator wait, bool done)
{
    QJsonObject answer = wait->result(done);
    if (!done) {
        answer.insert(okKey, false);
        answer.insert(QStringLiteral("error"), QStringLiteral("timed out"));
    }
    const ControlServer::Answer reply = wait->answer;
    // Stopped first: a timeout already due would otherwise still fire for the erased entry
    // before the timer is deleted.
    wait->timer->stop();
    wait->timer->deleteLater();
    m_waits.erase(wait);
    reply(answer);
}
