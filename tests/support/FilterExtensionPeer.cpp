#include "FilterExtensionPeer.h"

#include "platform/Bundle.h"
#include "platform/Deployment.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

#include <cerrno>
#include <gtest/gtest.h>
#include <csignal>
#include <cstring>

#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Between attempts to reach a peer that is still starting.
constexpr auto retryInterval = std::chrono::milliseconds(10);

int remainingMs(const QDeadlineTimer& deadline)
{
    return int(std::max<qint64>(0, deadline.remainingTime()));
}

} // namespace

QString FilterExtensionPeer::bundlePath()
{
    return QStringLiteral(NORVANE_TEST_BUNDLE_DIR "/Contents/Library/SystemExtensions/") +
           QLatin1String(bundleIdentifier) + QStringLiteral(".systemextension");
}

QString FilterExtensionPeer::executablePath()
{
    return Bundle(bundlePath()).executablePath();
}

QString FilterExtensionPeer::controlSocketPath()
{
    return Deployment::runtimeDirectory() + QLatin1Char('/') + QLatin1String(bundleIdentifier) +
           QStringLiteral(".control");
}

QString FilterExtensionPeer::serviceSocketPath()
{
    return Deployment::runtimeDirectory() + QLatin1Char('/') + QLatin1String(serviceName) +
           QStringLiteral(".sock");
}

FilterExtensionPeer::~FilterExtensionPeer()
{
    {
        std::lock_guard lock(m_mutex);
        disconnectLocked();
    }
    if (m_process.state() != ChildProcess::NotRunning)
        stop(std::chrono::milliseconds(5000));
}

bool FilterExtensionPeer::start(const QProcessEnvironment& extra, std::chrono::milliseconds timeout)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(extra);
    m_process.setProcessEnvironment(environment);
    m_process.setChannels(ChildProcess::Channels::forwarded);
    if (!m_process.start(executablePath(), {}))
        return false;
    m_started = true;
    return waitForPing(timeout);
}

bool FilterExtensionPeer::attach(std::chrono::milliseconds timeout)
{
    return waitForPing(timeout);
}

bool FilterExtensionPeer::isChildRunning() const
{
    return m_process.state() == ChildProcess::Running;
}

qint64 FilterExtensionPeer::processId() const
{
    return m_process.processId();
}

bool FilterExtensionPeer::waitForPing(std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    const bool child = m_process.state() != ChildProcess::NotRunning;
    for (;;) {
        if (child && m_process.state() == ChildProcess::NotRunning)
            return false;
        const auto answer = command({{QStringLiteral("cmd"), QStringLiteral("ping")}},
                                    std::chrono::milliseconds(std::max<qint64>(1, deadline.remainingTime())));
        // Our child must be the one answering, not another instance that holds the socket.
        if (answer && answer->value(QStringLiteral("ok")).toBool() &&
            (!child || answer->value(QStringLiteral("pid")).toInteger() == m_process.processId()))
            return true;
        {
            std::lock_guard lock(m_mutex);
            disconnectLocked();
        }
        if (deadline.hasExpired())
            return false;
        // The child may also end meanwhile: waiting on it doubles as the pause between attempts.
        if (child)
            m_process.waitForFinished(int(retryInterval.count()));
        else
            QThread::msleep(retryInterval.count());
    }
}

bool FilterExtensionPeer::connectLocked()
{
    if (m_socket >= 0)
        return true;
    const QByteArray path = QFile::encodeName(controlSocketPath());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return false;
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(socket);
        return false;
    }
    m_socket = socket;
    m_buffer.clear();
    return true;
}

void FilterExtensionPeer::disconnectLocked()
{
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = -1;
    m_buffer.clear();
}

std::optional<QJsonObject> FilterExtensionPeer::command(const QJsonObject& command,
                                                        std::chrono::milliseconds timeout)
{
    std::lock_guard lock(m_mutex);
    if (!connectLocked())
        return std::nullopt;
    const QDeadlineTimer deadline(timeout);
    const QByteArray line = QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n';
    for (qsizetype written = 0; written < line.size();) {
        const ssize_t count =
            ::send(m_socket, line.constData() + written, size_t(line.size() - written), MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            disconnectLocked();
            return std::nullopt;
        }
        written += count;
    }
    qsizetype end;
    while ((end = m_buffer.indexOf('\n')) < 0) {
        pollfd descriptor{m_socket, POLLIN, 0};
        const int ready = ::poll(&descriptor, 1, remainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        char chunk[65536];
        const ssize_t count = ready > 0 ? ::recv(m_socket, chunk, sizeof chunk, 0) : -1;
        if (count <= 0) {
            // Timed out or closed: a late answer must not be taken for the next command's.
            disconnectLocked();
            return std::nullopt;
        }
        m_buffer.append(chunk, count);
    }
    const QJsonDocument answer = QJsonDocument::fromJson(m_buffer.left(end));
    m_buffer.remove(0, end + 1);
    if (!answer.isObject())
        return std::nullopt;
    return answer.object();
}

bool FilterExtensionPeer::succeeds(const QJsonObject& request, std::chrono::milliseconds timeout)
{
    const auto answer = command(request, timeout);
    return answer && answer->value(QStringLiteral("ok")).toBool();
}

bool FilterExtensionPeer::ping()
{
    return succeeds({{QStringLiteral("cmd"), QStringLiteral("ping")}});
}

int FilterExtensionPeer::clients()
{
    const auto answer = command({{QStringLiteral("cmd"), QStringLiteral("clients")}});
    return answer ? answer->value(QStringLiteral("clients")).toInt(-1) : -1;
}

bool FilterExtensionPeer::waitForClients(int count, bool registered, std::chrono::milliseconds timeout)
{
    // The peer waits; our read allows for its answer to travel.
    return succeeds({{QStringLiteral("cmd"), QStringLiteral("waitClients")},
                     {QStringLiteral("count"), count},
                     {QStringLiteral("registered"), registered},
                     {QStringLiteral("timeoutMs"), qint64(timeout.count())}},
                    timeout + defaultTimeout);
}

bool FilterExtensionPeer::waitUntilNoClients(std::chrono::milliseconds timeout)
{
    return succeeds({{QStringLiteral("cmd"), QStringLiteral("waitClients")},
                     {QStringLiteral("count"), 0},
                     {QStringLiteral("atMost"), true},
                     {QStringLiteral("timeoutMs"), qint64(timeout.count())}},
                    timeout + defaultTimeout);
}

QJsonArray FilterExtensionPeer::received(bool clear)
{
    const auto answer =
        command({{QStringLiteral("cmd"), QStringLiteral("received")}, {QStringLiteral("clear"), clear}});
    return answer ? answer->value(QStringLiteral("messages")).toArray() : QJsonArray();
}

std::optional<QJsonArray> FilterExtensionPeer::waitForReceived(int count, std::optional<int> id,
                                                               std::chrono::milliseconds timeout)
{
    QJsonObject request{{QStringLiteral("cmd"), QStringLiteral("waitReceived")},
                        {QStringLiteral("count"), count},
                        {QStringLiteral("timeoutMs"), qint64(timeout.count())}};
    if (id)
        request.insert(QStringLiteral("id"), *id);
    const auto answer = command(request, timeout + defaultTimeout);
    if (!answer || !answer->value(QStringLiteral("ok")).toBool())
        return std::nullopt;
    return answer->value(QStringLiteral("messages")).toArray();
}

bool FilterExtensionPeer::sendUrlBlocked(const QString& url, const QString& category,
                                         const QString& textTrigger, qint64 count)
{
    return succeeds({{QStringLiteral("cmd"), QStringLiteral("urlBlocked")},
                     {QStringLiteral("url"), url},
                     {QStringLiteral("category"), category},
                     {QStringLiteral("textTrigger"), textTrigger},
                     {QStringLiteral("count"), count}},
                    std::max(defaultTimeout, std::chrono::milliseconds(count / 10)));
}

bool FilterExtensionPeer::sendSync(bool success)
{
    return succeeds({{QStringLiteral("cmd"), QStringLiteral("sync")}, {QStringLiteral("success"), success}});
}

bool FilterExtensionPeer::sendDisable(const QString& bundlePath, qint32 guiProcessPid)
{
    return succeeds({{QStringLiteral("cmd"), QStringLiteral("disable")},
                     {QStringLiteral("bundlePath"), bundlePath},
                     {QStringLiteral("guiProcessPid"), guiProcessPid}});
}

bool FilterExtensionPeer::sendInstallRootCertFailed(const QString& pemPath)
{
    QJsonObject request{{QStringLiteral("cmd"), QStringLiteral("installRootCertFailed")}};
    if (!pemPath.isEmpty())
        request.insert(QStringLiteral("pemPath"), pemPath);
    return succeeds(request);
}

bool FilterExtensionPeer::setRelaxedPolicy(bool allow, const QString& text, const QString& passcode)
{
    return succeeds({{QStringLiteral("cmd"), QStringLiteral("setRelaxedPolicy")},
                     {QStringLiteral("allow"), allow},
                     {QStringLiteral("text"), text},
                     {QStringLiteral("passcode"), passcode}});
}

bool FilterExtensionPeer::setUserDataFile(const QString& path)
{
    return succeeds({{QStringLiteral("cmd"), QStringLiteral("setUserData")}, {QStringLiteral("path"), path}});
}

bool FilterExtensionPeer::setUserDataJson(const QJsonObject& session)
{
    return succeeds(
        {{QStringLiteral("cmd"), QStringLiteral("setUserData")}, {QStringLiteral("json"), session}});
}

bool FilterExtensionPeer::setUserDataText(const QByteArray& text)
{
    return succeeds({{QStringLiteral("cmd"), QStringLiteral("setUserData")},
                     {QStringLiteral("json"), QString::fromUtf8(text)}});
}

bool FilterExtensionPeer::useDemoSession()
{
    return succeeds({{QStringLiteral("cmd"), QStringLiteral("setUserData")}});
}

QString FilterExtensionPeer::certificatePem()
{
    const auto answer = command({{QStringLiteral("cmd"), QStringLiteral("certificate")}});
    return answer ? answer->value(QStringLiteral("pem")).toString() : QString();
}

std::optional<int> FilterExtensionPeer::stop(std::chrono::milliseconds timeout)
{
    {
        std::lock_guard lock(m_mutex);
        disconnectLocked();
    }
    if (!m_started)
        return std::nullopt;
    if (m_process.state() == ChildProcess::NotRunning)
        return m_process.exitStatus() == ChildProcess::NormalExit ? std::optional<int>(m_process.exitCode())
                                                              : std::nullopt;
    m_process.terminate();
    if (!m_process.waitForFinished(int(timeout.count()))) {
        // A stand-in that does not end on SIGTERM is a fault of its own, not to be hidden.
        ADD_FAILURE() << "the filter-extension stand-in did not end within " << timeout.count()
                      << " ms of SIGTERM";
        kill();
        return std::nullopt;
    }
    if (m_process.exitStatus() != ChildProcess::NormalExit)
        return std::nullopt;
    return m_process.exitCode();
}

void FilterExtensionPeer::kill()
{
    if (m_process.state() == ChildProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(int(defaultTimeout.count()));
}
