#include "ControlServer.h"

#include "PeerLog.h"

#include "platform/XpcSocket.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLocalSocket>
#include <QPointer>
#include <QSocketNotifier>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

struct ControlServer::Client
{
    QLocalSocket* socket = nullptr;
    QByteArray buffer;
    bool busy = false; // a command is waiting for its answer
    bool gone = false;
};

ControlServer::ControlServer(QString path, Handler handler)
    : m_path(std::move(path)), m_handler(std::move(handler)), m_context(std::make_unique<QObject>())
{
}

ControlServer::~ControlServer()
{
    close();
}

QJsonObject ControlServer::error(const QString& text)
{
    return QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), text}};
}

bool ControlServer::listen(QString* error)
{
    // The link's own socket rules: 0700 runtime folder, a stale file replaced, a live one kept.
    const int socket = XpcSocket::listenOn(m_path, error);
    if (socket < 0)
        return false;
    struct stat status;
    if (::fstat(socket, &status) != 0 || ::lstat(QFile::encodeName(m_path).constData(), &status) != 0) {
        *error = QStringLiteral("the socket file %1 vanished").arg(m_path);
        ::close(socket);
        return false;
    }
    m_socket = socket;
    m_device = status.st_dev;
    m_inode = status.st_ino;
    m_notifier = new QSocketNotifier(socket, QSocketNotifier::Read, m_context.get());
    QObject::connect(m_notifier, &QSocketNotifier::activated, m_context.get(), [this] { acceptPending(); });
    return true;
}

void ControlServer::close()
{
    if (m_socket < 0)
        return;
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_socket);
    m_socket = -1;
    const QByteArray native = QFile::encodeName(m_path);
    struct stat status;
    if (::lstat(native.constData(), &status) == 0 && status.st_dev == m_device && status.st_ino == m_inode)
        ::unlink(native.constData());
    const auto clients = m_clients;
    for (const auto& client : clients)
        drop(client);
}

void ControlServer::acceptPending()
{
    for (;;) {
        const int descriptor = XpcSocket::acceptFrom(m_socket);
        if (descriptor < 0)
            return;
        pid_t pid = 0;
        uid_t uid = 0;
        if (!XpcSocket::peerCredentials(descriptor, &pid, &uid) || uid != ::getuid()) {
            peerLog(QStringLiteral("Control channel: refused a client of another user (pid %1)").arg(pid));
            ::close(descriptor);
            continue;
        }
        auto client = std::make_shared<Client>();
        client->socket = new QLocalSocket(m_context.get());
        if (!client->socket->setSocketDescriptor(descriptor)) {
            ::close(descriptor);
            delete client->socket;
            continue;
        }
        const std::weak_ptr<Client> weak = client;
        QObject::connect(client->socket, &QLocalSocket::readyRead, m_context.get(), [this, weak] {
            if (const auto client = weak.lock())
                readFrom(client);
        });
        QObject::connect(client->socket, &QLocalSocket::disconnected, m_context.get(), [this, weak] {
            if (const auto client = weak.lock())
                drop(client);
        });
        m_clients.push_back(client);
    }
}

void ControlServer::readFrom(const std::shared_ptr<Client>& client)
{
    client->buffer += client->socket->readAll();
    // The unfinished line, and everything waiting behind a command that has not answered yet.
    const qsizetype unfinished = client->buffer.size() - (client->buffer.lastIndexOf('\n') + 1);
    if (unfinished > maximumLineLength || client->buffer.size() > 4 * maximumLineLength) {
        refuse(client, QStringLiteral("line too long"));
        return;
    }
    runNext(client);
}

void ControlServer::refuse(const std::shared_ptr<Client>& client, const QString& reason)
{
    peerLog(QStringLiteral("Control channel: %1; dropping the client").arg(reason));
    client->socket->write(QJsonDocument(error(reason)).toJson(QJsonDocument::Compact) + '\n');
    client->socket->flush();
    drop(client);
}

void ControlServer::runNext(const std::shared_ptr<Client>& client)
{
    while (!client->busy && !client->gone) {
        const qsizetype end = client->buffer.indexOf('\n');
        if (end < 0)
            return;
        if (end > maximumLineLength) {
            refuse(client, QStringLiteral("line too long"));
            return;
        }
        const QByteArray line = client->buffer.left(end).trimmed();
        client->buffer.remove(0, end + 1);
        if (line.isEmpty())
            continue;

        const std::weak_ptr<Client> weak = client;
        const Answer answer = [this, weak](const QJsonObject& reply) {
            const auto client = weak.lock();
            if (!client || client->gone)
                return;
            client->busy = false;
            client->socket->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
            // Later lines waited for this answer.
            QMetaObject::invokeMethod(
                m_context.get(),
                [this, weak] {
                    if (const auto client = weak.lock())
                        runNext(client);
                },
                Qt::QueuedConnection);
        };
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
        client->busy = true;
        if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
            answer(error(QStringLiteral("not a JSON object")));
        } else if (!document.object().value(QStringLiteral("cmd")).isString()) {
            answer(error(QStringLiteral("no \"cmd\" text")));
        } else {
            m_handler(document.object(), answer);
        }
    }
}

void ControlServer::drop(const std::shared_ptr<Client>& client)
{
    if (client->gone)
        return;
    client->gone = true;
    m_clients.erase(std::remove(m_clients.begin(), m_clients.end(), client), m_clients.end());
    client->socket->disconnect(m_context.get());
    client->socket->abort();
    client->socket->deleteLater();
}
