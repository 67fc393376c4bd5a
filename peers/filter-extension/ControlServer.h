#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include <sys/types.h>

class QLocalSocket;
class QSocketNotifier;

// The control channel: a Unix-domain stream socket that takes one JSON object per line and
// answers each with one JSON object on a line, in order. Commands of one client run one
// after another; a command may answer later (the next line waits for it). Only processes
// of this user may connect. Runs on the main thread.
class ControlServer
{
public:
    // Call answer exactly once, on the main thread, now or later.
    using Answer = std::function<void(const QJsonObject& answer)>;
    using Handler = std::function<void(const QJsonObject& command, Answer answer)>;

    // Longer lines drop the client.
    static constexpr qsizetype maximumLineLength = 8 * 1024 * 1024;

    ControlServer(QString path, Handler handler);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // False, with the reason in *error, when the socket cannot be made.
    bool listen(QString* error);
    // Stops listening, disconnects every client and removes the socket file (if still ours).
    void close();
    QString path() const { return m_path; }

    // The answer to a line that is not a JSON object with a text "cmd".
    static QJsonObject error(const QString& text);

private:
    struct Client;
    void acceptPending();
    void readFrom(const std::shared_ptr<Client>& client);
    void runNext(const std::shared_ptr<Client>& client);
    void refuse(const std::shared_ptr<Client>& client, const QString& reason);
    void drop(const std::shared_ptr<Client>& client);

    const QString m_path;
    const Handler m_handler;
    std::unique_ptr<QObject> m_context; // parent of the notifier and the clients' sockets
    QSocketNotifier* m_notifier = nullptr;
    int m_socket = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    std::vector<std::shared_ptr<Client>> m_clients;
};
