#include "platform/ReopenChannel.h"

#include "platform/Diagnostics.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace {
const QByteArray reopenRequest = QByteArrayLiteral("reopen\n");
constexpr qsizetype maximumRequestSize = 64;
} // namespace

ReopenChannel::ReopenChannel(const QString& socketPath, QObject* parent) : QObject(parent), m_socketPath(socketPath) {}

ReopenChannel::~ReopenChannel() = default;

bool ReopenChannel::isPrivateFolder(const QString& folder)
{
    const QFileInfo info(folder);
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                                      QFile::WriteOther | QFile::ExeOther;
    return info.isDir() && !info.isSymLink() && info.ownerId() == ::getuid() && !(info.permissions() & others);
}

bool ReopenChannel::listen()
{
    const QString folder = QFileInfo(m_socketPath).absolutePath();
    if (!isPrivateFolder(folder)) {
        Diagnostics::report(QStringLiteral("Workspace: %1 is not a private folder; a second start cannot bring the window forward").arg(folder));
        return false;
    }
    // Only the holder of the instance lock gets here, so a socket left behind is stale.
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &ReopenChannel::onNewConnection);
    if (!m_server->listen(m_socketPath)) {
        Diagnostics::report(QStringLiteral("Workspace: cannot listen for a second start at %1: %2").arg(m_socketPath, m_server->errorString()));
        return false;
    }
    return true;
}

void ReopenChannel::onNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() < reopenRequest.size() && !socket->peek(maximumRequestSize).contains('\n'))
                return;
            const QByteArray data = socket->read(maximumRequestSize);
            socket->disconnectFromServer();
            // Anything but the one request is dropped.
            if (data == reopenRequest)
                emit reopenRequested();
        });
    }
}

bool ReopenChannel::requestReopen(const QString& socketPath, int timeoutMs)
{
    if (!isPrivateFolder(QFileInfo(socketPath).absolutePath()))
        return false;
    QLocalSocket socket;
    socket.connectToServer(socketPath, QIODevice::WriteOnly);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(reopenRequest);
    const bool written = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return written;
}
