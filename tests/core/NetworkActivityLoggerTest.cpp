#include "core/NetworkActivityLogger.h"
#include "core/HttpEvents.h"
#include "core/HttpSession.h"
#include "core/Log.h"

#include "HttpTestSupport.h"
#include "LogEntries.h"
#include "ManagementServerPeer.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

const QString divider = QStringLiteral("---------------------");

QStringList logLines()
{
    return LogEntries::read(Log::shared().currentFilePath());
}

// The entries written since `before` entries were there.
QStringList linesSince(qsizetype before)
{
    return logLines().mid(before);
}

void drain(NetworkActivityLogger& logger)
{
    logger.queue().sync([] {});
}

HttpRequestRecordPtr makeRecord(const std::function<void(HttpRequestRecord&)>& edit)
{
    auto record = std::make_shared<HttpRequestRecord>();
    record->method = QStringLiteral("GET");
    record->url = QUrl(QStringLiteral("https://manage.example/api?q=1"));
    record->request = QNetworkRequest(record->url);
    record->cURLDescription =
        QStringLiteral("$ curl -v \\\n\t-X GET \\\n\t\"https://manage.example/api?q=1\"");
    record->hasMetrics = true;
    record->duration = 0.12345;
    edit(*record);
    return record;
}

// Matches "<status> '<url>' [d.dddd s]" with any four-decimal duration.
QRegularExpression statusLine(const QString& head, const QString& url, const QString& tail)
{
    return QRegularExpression(
        QStringLiteral("^") +
        QRegularExpression::escape(head + QStringLiteral(" '") + url + QStringLiteral("' [")) +
        QStringLiteral("\\d+\\.\\d{4}") + QRegularExpression::escape(QStringLiteral(" s]") + tail) +
        QStringLiteral("$"));
}

} // namespace

TEST(NetworkActivityLogger, TracesASuccessA404AndARefusedConnection)
{
    ManagementServerPeer peer(false);
    ASSERT_TRUE(peer.isRunning());
    HttpSession session({}, HttpSession::certificatesFromPemFiles(peer.certificatePath()));
    NetworkActivityLogger& logger = NetworkActivityLogger::shared();
    EXPECT_EQ(logger.level(), NetworkActivityLoggerLevel::info);
    logger.startLogging();

    const QString okUrl = peer.url(QStringLiteral("/Velmora/api/v2/user/gettoken"));
    const QString missingUrl = peer.url(QStringLiteral("/missing"));
    const QString refusedUrl = QStringLiteral("https://127.0.0.1:%1/gone").arg(closedPort());
    const struct
    {
        const char* name;
        QString method;
        QString url;
        QRegularExpression finishLine;
        QString errorLine; // empty: none expected
    } cases[] = {
        {"success", QStringLiteral("POST"), okUrl, statusLine(QStringLiteral("200"), okUrl, {}), {}},
        {"not found",
         QStringLiteral("GET"),
         missingUrl,
         statusLine(QStringLiteral("404"), missingUrl, {}),
         {}},
        {"refused", QStringLiteral("GET"), refusedUrl,
         statusLine(QStringLiteral("[Error] GET"), refusedUrl, QStringLiteral(":")),
         QStringLiteral("Connection refused")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const qsizetype before = logLines().size();
        const HttpHeaders credentials{
            HttpHeader::authorization(QLatin1String(ManagementServerPeer::demoEmail),
                                      QLatin1String(ManagementServerPeer::demoPassword))};
        const auto request = c.method == QLatin1String("POST")
                                 ? session.post(QUrl(c.url), QMap<QString, QString>(), credentials)
                                 : session.get(QUrl(c.url));
        // Validation fails the 404 for the requester only; the trace shows the status.
        ASSERT_TRUE(awaitString(request->validate().shared_from_this()));
        drain(logger);

        const QStringList lines = linesSince(before);
        ASSERT_EQ(lines.size(), c.errorLine.isEmpty() ? 4 : 5) << lines.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(lines[0], divider);
        EXPECT_EQ(lines[1], c.method + QStringLiteral(" '") + c.url + QLatin1Char('\''));
        EXPECT_EQ(lines[2], divider);
        EXPECT_TRUE(c.finishLine.match(lines[3]).hasMatch()) << lines[3].toStdString();
        if (!c.errorLine.isEmpty()) {
            EXPECT_EQ(lines[4], c.errorLine);
        }
    }
}

TEST(NetworkActivityLogger, WritesWhatEachLevelAsksFor)
{
    const QString url = QStringLiteral("https://manage.example/api?q=1");
    const auto started = makeRecord([](HttpRequestRecord& r) { r.hasMetrics = false; });
    const auto failed =
        makeRecord([](HttpRequestRecord& r) { r.error = QStringLiteral("The request timed out."); });
    const auto jsonReply = makeRecord([](HttpRequestRecord& r) {
        r.statusCode = 200;
        r.responseHeaders = {{"Content-Type", "application/json"}, {"X-Id", "7"}};
        r.responseData = QByteArray(R"({"a":[1,"x"]})");
    });
    const auto textReply = makeRecord([](HttpRequestRecord& r) {
        r.statusCode = 200;
        r.responseData = QByteArray("plain words");
    });
    const auto scalarReply = makeRecord([](HttpRequestRecord& r) {
        r.statusCode = 200;
        r.responseData = QByteArray("\"just a string\"");
    });
    const auto binaryReply = makeRecord([](HttpRequestRecord& r) {
        r.statusCode = 200;
        r.responseData = QByteArray("\xff\xfe\x00", 3);
    });
    const auto emptyReply = makeRecord([](HttpRequestRecord& r) { r.statusCode = 204; });
    const auto notFound = makeRecord([](HttpRequestRecord& r) {
        r.statusCode = 404;
        r.responseData = QByteArray("missing");
    });
    const auto noMetrics = makeRecord([](HttpRequestRecord& r) {
        r.hasMetrics = false;
        r.statusCode = 200;
    });
    const auto noResponse = makeRecord([](HttpRequestRecord&) {});

    const QString status200 = QStringLiteral("200 '") + url + QStringLiteral("' [0.1235 s]");
    const QString errorLine = QStringLiteral("[Error] GET '") + url + QStringLiteral("' [0.1235 s]:");
    const QStringList debugHead{divider, status200 + QLatin1Char(':'), QStringLiteral("Headers: [")};
    using Level = NetworkActivityLoggerLevel;
    const struct
    {
        const char* name;
        Level level;
        bool start;
        HttpRequestRecordPtr record;
        QStringList lines;
    } cases[] = {
        {"info start",
         Level::info,
         true,
         started,
         {divider, QStringLiteral("GET '") + url + QLatin1Char('\'')}},
        {"debug start",
         Level::debug,
         true,
         started,
         {divider, QStringLiteral("GET '") + url + QStringLiteral("':"),
          QStringLiteral("cURL:\n") + started->cURLDescription}},
        {"warn start", Level::warn, true, started, {}},
        {"off error", Level::off, false, failed, {}},
        {"info error",
         Level::info,
         false,
         failed,
         {divider, errorLine, QStringLiteral("The request timed out.")}},
        {"error error",
         Level::error,
         false,
         failed,
         {divider, errorLine, QStringLiteral("The request timed out.")}},
        {"fatal error", Level::fatal, false, failed, {}},
        {"info 404",
         Level::info,
         false,
         notFound,
         {divider, QStringLiteral("404 '") + url + QStringLiteral("' [0.1235 s]")}},
        {"warn success", Level::warn, false, jsonReply, {}},
        {"debug json", Level::debug, false, jsonReply,
         debugHead + QStringList{QStringLiteral("  Content-Type: application/json"),
                                 QStringLiteral("  X-Id: 7"), QStringLiteral("]"), QStringLiteral("Body:"),
                                 QStringLiteral("{\n    \"a\": [\n        1,\n        \"x\"\n    ]\n}")}},
        {"debug text", Level::debug, false, textReply,
         debugHead +
             QStringList{QStringLiteral("]"), QStringLiteral("Body:"), QStringLiteral("plain words")}},
        {"debug top-level string", Level::debug, false, scalarReply,
         debugHead +
             QStringList{QStringLiteral("]"), QStringLiteral("Body:"), QStringLiteral("\"just a string\"")}},
        {"debug not utf-8", Level::debug, false, binaryReply,
         debugHead + QStringList{QStringLiteral("]"), QStringLiteral("Body:")}},
        {"debug no body",
         Level::debug,
         false,
         emptyReply,
         {divider, QStringLiteral("204 '") + url + QStringLiteral("' [0.1235 s]:"),
          QStringLiteral("Headers: ["), QStringLiteral("]")}},
        {"no metrics", Level::debug, false, noMetrics, {}},
        {"neither error nor response", Level::debug, false, noResponse, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NetworkActivityLogger logger;
        logger.setLevel(c.level);
        const qsizetype before = logLines().size();
        if (c.start)
            logger.requestDidStart(c.record);
        else
            logger.requestDidFinish(c.record);
        drain(logger);
        EXPECT_EQ(linesSince(before), c.lines) << linesSince(before).join(QStringLiteral("|")).toStdString();
    }
}

TEST(NetworkActivityLogger, FilterPredicateHidesStartAndFinish)
{
    NetworkActivityLogger logger;
    logger.setFilterPredicate([](const QNetworkRequest& request) {
        return request.url().host() == QLatin1String("hidden.example");
    });
    const auto hidden = makeRecord([](HttpRequestRecord& r) {
        r.url = QUrl(QStringLiteral("https://hidden.example/x"));
        r.request = QNetworkRequest(r.url);
        r.statusCode = 200;
    });
    const auto shown = makeRecord([](HttpRequestRecord& r) { r.statusCode = 200; });
    const qsizetype before = logLines().size();
    logger.requestDidStart(hidden);
    logger.requestDidFinish(hidden);
    drain(logger);
    EXPECT_EQ(linesSince(before), QStringList());
    logger.requestDidFinish(shown);
    drain(logger);
    EXPECT_EQ(linesSince(before).size(), 2);
}

TEST(NetworkActivityLogger, StartingTwiceObservesOnceAndStopEndsIt)
{
    NetworkActivityLogger logger;
    const auto record = makeRecord([](HttpRequestRecord& r) { r.hasMetrics = false; });
    logger.startLogging();
    logger.startLogging();
    qsizetype before = logLines().size();
    emit HttpEvents::shared()->requestDidResume(record);
    drain(logger);
    EXPECT_EQ(linesSince(before).size(), 2); // one divider and one start line

    logger.stopLogging();
    before = logLines().size();
    emit HttpEvents::shared()->requestDidResume(record);
    drain(logger);
    EXPECT_EQ(linesSince(before).size(), 0);
}
