#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include "ChildProcess.h"

#include <QProcess>
#include <QString>

#include <optional>

// Runs the management-server peer (peers/management-server) for one test: starts it on a
// free port of 127.0.0.1, points NORVANE_SERVER_HOST and NORVANE_EXTRA_CA_CERTS at it,
// and stops it when destroyed. Scripts and records go through the peer's admin API with
// a blocking client, so they never run the Qt event loop.
class ManagementServerPeer
{
public:
    static constexpr const char* demoEmail = "demo@norvane.org";
    static constexpr const char* demoPassword = "demo-password";
    static constexpr const char* demoToken = "demo-token-0001";

    struct Answer
    {
        int status = 200;
        QByteArray body;
        QString contentType = QStringLiteral("text/plain"); // empty: no Content-Type field
        int delayMs = 0;
        QList<QPair<QString, QString>> headers;
        QString method; // empty: any
    };

    struct RecordedRequest
    {
        QString method;
        QString path;
        QString query;
        QList<QPair<QString, QString>> headers;
        QByteArray body;

        // The field's value (names compare without case); nothing when absent.
        std::optional<QString> header(const QString& name) const;
        QJsonObject jsonBody() const;
    };

    // Starts the peer and sets the environment; check isRunning().
    explicit ManagementServerPeer(bool setEnvironment = true);
    ~ManagementServerPeer();
    ManagementServerPeer(const ManagementServerPeer&) = delete;
    ManagementServerPeer& operator=(const ManagementServerPeer&) = delete;

    bool isRunning() const { return m_port > 0 && m_process.state() == ChildProcess::Running; }
    int port() const { return m_port; }
    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    QString certificatePath() const { return m_pemPath; }
    // "https://127.0.0.1:<port>" + path.
    QString url(const QString& path) const { return QStringLiteral("https://") + host() + path; }

    // Scripts the answer for a path ("user/gettoken" is taken under /Velmora/api/v2/):
    // standing until reset, or used by the next matching request only.
    bool script(const QString& path, const Answer& answer, bool once = false);
    QList<RecordedRequest> requests() const;
    // The recorded requests to a path (same path rules as script()).
    QList<RecordedRequest> requests(const QString& path) const;
    bool reset();

    // The update feed (/Velmora/update/macos/update.xml): items as the peer's
    // /__peer/update/feed takes them, and bytes of padding for oversized feeds.
    bool setUpdateFeed(const QJsonArray& items, qint64 padding = 0);
    // Serves the file at url(updateFilePath(name)); truncateAt >= 0 closes the connection
    // after that many bytes while announcing the whole length.
    bool serveUpdateFile(const QString& name, const QString& filePath, qint64 truncateAt = -1);
    static QString updateFeedPath() { return QStringLiteral("/Velmora/update/macos/update.xml"); }
    static QString updateFilePath(const QString& name) { return QStringLiteral("/Velmora/update/files/") + name; }
    bool addAccount(const QString& email, const QString& password, const QString& token);
    // The filter test page at "/": its status, and whether it carries the marker.
    bool setFilterTestPage(int status, bool withMarker);

private:
    std::optional<QByteArray> admin(const char* method, const char* path, const QByteArray& body = {}) const;

    mutable ChildProcess m_process;
    QString m_pemPath;
    int m_port = 0;
};
