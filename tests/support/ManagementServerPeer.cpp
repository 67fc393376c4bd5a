#include "ManagementServerPeer.h"

#include "TestEnvironment.h"

#include <httplib.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

#include <csignal>
#include <sys/prctl.h>

namespace {
QString fullPath(const QString& path)
{
    return path.startsWith(QLatin1Char('/')) ? path : QStringLiteral("/Velmora/api/v2/") + path;
}
} // namespace

std::optional<QString> ManagementServerPeer::RecordedRequest::header(const QString& name) const
{
    for (const auto& field : headers) {
        if (field.first.compare(name, Qt::CaseInsensitive) == 0)
            return field.second;
    }
    return std::nullopt;
}

QJsonObject ManagementServerPeer::RecordedRequest::jsonBody() const
{
    return QJsonDocument::fromJson(body).object();
}

ManagementServerPeer::ManagementServerPeer(bool setEnvironment)
{
    const QString base = TestEnvironment::root().isEmpty() ? QDir::tempPath() : TestEnvironment::root();
    m_pemPath = base + QStringLiteral("/management-server-") +
                QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".pem");
    m_process.setChannels(ChildProcess::Channels::forwardedErrors);
    if (!m_process.start(QStringLiteral(NORVANE_BINARY_DIR "/peers/management-server/management_server"), {m_pemPath}))
        return;
    bool ok = false;
    // The peer prints its port once it listens.
    const int port = m_process.readLine(20'000).trimmed().toInt(&ok);
    if (!ok || port <= 0)
        return;
    m_port = port;
    if (setEnvironment) {
        qputenv("NORVANE_SERVER_HOST", host().toUtf8());
        qputenv("NORVANE_EXTRA_CA_CERTS", m_pemPath.toUtf8());
    }
}

ManagementServerPeer::~ManagementServerPeer()
{
    if (m_process.state() != ChildProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5'000)) {
            m_process.kill();
            m_process.waitForFinished(5'000);
        }
    }
}

std::optional<QByteArray> ManagementServerPeer::admin(const char* method, const char* path,
                                                      const QByteArray& body) const
{
    if (m_port <= 0)
        return std::nullopt;
    httplib::SSLClient client("127.0.0.1", m_port);
    client.set_ca_cert_path(m_pemPath.toStdString().c_str());
    client.enable_server_certificate_verification(true);
    client.set_connection_timeout(10);
    client.set_read_timeout(30);
    const httplib::Result result = std::string(method) == "GET"
                                       ? client.Get(path)
                                       : client.Post(path, body.toStdString(), "application/json");
    if (!result || result->status != 200)
        return std::nullopt;
    return QByteArray::fromStdString(result->body);
}

bool ManagementServerPeer::script(const QString& path, const Answer& answer, bool once)
{
    QJsonObject headers;
    for (const auto& field : answer.headers)
        headers.insert(field.first, field.second);
    QJsonObject request{
        {QStringLiteral("path"), fullPath(path)},
        {QStringLiteral("status"), answer.status},
        {QStringLiteral("bodyBase64"), QString::fromLatin1(answer.body.toBase64())},
        {QStringLiteral("contentType"), answer.contentType},
        {QStringLiteral("delayMs"), answer.delayMs},
        {QStringLiteral("headers"), headers},
        {QStringLiteral("once"), once},
    };
    if (!answer.method.isEmpty())
        request.insert(QStringLiteral("method"), answer.method);
    return admin("POST", "/__peer/script", QJsonDocument(request).toJson(QJsonDocument::Compact)).has_value();
}

QList<ManagementServerPeer::RecordedRequest> ManagementServerPeer::requests() const
{
    QList<RecordedRequest> list;
    const std::optional<QByteArray> body = admin("GET", "/__peer/requests");
    if (!body)
        return list;
    for (const QJsonValue& value : QJsonDocument::fromJson(*body).array()) {
        const QJsonObject object = value.toObject();
        RecordedRequest request;
        request.method = object.value(QStringLiteral("method")).toString();
        request.path = object.value(QStringLiteral("path")).toString();
        request.query = object.value(QStringLiteral("query")).toString();
        request.body = object.value(QStringLiteral("body")).toString().toUtf8();
        for (const QJsonValue& field : object.value(QStringLiteral("headers")).toArray())
            request.headers.append({field.toArray().at(0).toString(), field.toArray().at(1).toString()});
        list.append(request);
    }
    return list;
}

QList<ManagementServerPeer::RecordedRequest> ManagementServerPeer::requests(const QString& path) const
{
    QList<RecordedRequest> matching;
    const QString wanted = fullPath(path);
    for (const RecordedRequest& request : requests()) {
        if (request.path == wanted)
            matching.append(request);
    }
    return matching;
}

bool ManagementServerPeer::reset()
{
    return admin("POST", "/__peer/reset").has_value();
}

bool ManagementServerPeer::setUpdateFeed(const QJsonArray& items, qint64 padding)
{
    const QJsonObject request{{QStringLiteral("items"), items}, {QStringLiteral("padding"), double(padding)}};
    return admin("POST", "/__peer/update/feed", QJsonDocument(request).toJson(QJsonDocument::Compact)).has_value();
}

bool ManagementServerPeer::serveUpdateFile(const QString& name, const QString& filePath, qint64 truncateAt)
{
    const QJsonObject request{{QStringLiteral("name"), name},
                              {QStringLiteral("path"), filePath},
                              {QStringLiteral("truncateAt"), double(truncateAt)}};
    return admin("POST", "/__peer/update/file", QJsonDocument(request).toJson(QJsonDocument::Compact)).has_value();
}

bool ManagementServerPeer::addAccount(const QString& email, const QString& password, const QString& token)
{
    const QJsonObject request{{QStringLiteral("email"), email},
                              {QStringLiteral("password"), password},
                              {QStringLiteral("token"), token}};
    return admin("POST", "/__peer/account", QJsonDocument(request).toJson(QJsonDocument::Compact))
        .has_value();
}

bool ManagementServerPeer::setFilterTestPage(int status, bool withMarker)
{
    const QJsonObject request{{QStringLiteral("status"), status}, {QStringLiteral("marker"), withMarker}};
    return admin("POST", "/__peer/filter-test", QJsonDocument(request).toJson(QJsonDocument::Compact)).has_value();
}
