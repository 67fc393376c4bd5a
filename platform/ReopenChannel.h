#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// How a second start of the program asks the running one to bring its window forward, as
// the desktop does on macOS when a running application is launched again. The running
// instance listens on a local socket in its runtime folder; the folder must be this user's
// own and closed to everyone else, so no other user can reach the socket. Main thread only.
class ReopenChannel : public QObject
{
    Q_OBJECT
public:
    static constexpr int requestTimeoutMs = 3000;

    explicit ReopenChannel(const QString& socketPath, QObject* parent = nullptr);
    ~ReopenChannel() override;

    // Starts listening (the instance that holds the instance lock); false when it can't.
    bool listen();
    // Asks the instance listening at the path; true once the request was delivered.
    static bool requestReopen(const QString& socketPath, int timeoutMs = requestTimeoutMs);
    // Whether the folder belongs to this user and only to this user.
    static bool isPrivateFolder(const QString& folder);

signals:
    void reopenRequested();

private:
    void onNewConnection();

    QString m_socketPath;
    QLocalServer* m_server = nullptr;
};
