#include "core/HttpSession.h"
#include "core/ErrorStringResponse.h"
#include "core/HttpEvents.h"
#include "core/Log.h"
#include "core/RetriveTokenResponse.h"

#include "HttpTestSupport.h"
#include "LogEntries.h"
#include "ManagementServerPeer.h"

#include <QNetworkReply>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>
#include <thread>

namespace {

std::unique_ptr<HttpSession> trustingSession(const ManagementServerPeer& peer)
{
    return std::make_unique<HttpSession>(ServerTrustManager(),
                                         HttpSession::certificatesFromPemFiles(peer.certificatePath()));
}

class HttpSessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer.isRunning());
        session = trustingSession(peer);
    }
    ManagementServerPeer peer;
    std::unique_ptr<HttpSession> session;
};

} // namespace

TEST_F(HttpSessionTest, ValidateChecksTheStatusAndTheContentTypeAgainstAccept)
{
    const QString anyAccept = QStringLiteral("application/json,text/html,text/plain;q=0.8,*/*;q=0.8");
    const struct
    {
        const char* name;
        int status;
        QString contentType;
        QByteArray body;
        QString accept; // empty: none sent
        std::optional<HttpError::Reason> failure;
    } cases[] = {
        {"ok", 200, QStringLiteral("text/plain"), "fine", {}, std::nullopt},
        {"upper end", 299, QStringLiteral("text/plain"), "fine", {}, std::nullopt},
        {"not found",
         404,
         QStringLiteral("text/plain"),
         "nope",
         {},
         HttpError::Reason::unacceptableStatusCode},
        {"server error", 500, QStringLiteral("application/json"), R"({"error":"x"})", anyAccept,
         HttpError::Reason::unacceptableStatusCode},
        {"multiple choices",
         300,
         QStringLiteral("text/plain"),
         "x",
         {},
         HttpError::Reason::unacceptableStatusCode},
        {"json accepted", 200, QStringLiteral("application/json; charset=utf-8"), "{}",
         QStringLiteral("application/json"), std::nullopt},
        {"html refused", 200, QStringLiteral("text/html"), "<p>", QStringLiteral("application/json"),
         HttpError::Reason::unacceptableContentType},
        {"subtype wildcard", 200, QStringLiteral("text/html"), "<p>",
         QStringLiteral("application/json, text/*"), std::nullopt},
        {"wildcard accepts all", 200, QStringLiteral("image/png"), "png", anyAccept, std::nullopt},
        {"type missing", 200, QString(), "x", QStringLiteral("application/json"),
         HttpError::Reason::missingContentType},
        {"type missing, wildcard", 200, QString(), "x", anyAccept, std::nullopt},
        {"no body, no type check", 200, QStringLiteral("text/html"), "", QStringLiteral("application/json"),
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ManagementServerPeer::Answer answer;
        answer.status = c.status;
        answer.contentType = c.contentType;
        answer.body = c.body;
        ASSERT_TRUE(peer.script(QStringLiteral("/validate"), answer));
        HttpHeaders headers;
        if (!c.accept.isEmpty())
            headers.add(HttpHeader::accept(c.accept));
        const auto reply = awaitResponse<QByteArray>([&](auto done) {
            session->get(peer.url(QStringLiteral("/validate")), {}, headers)->validate().response(done);
        });
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->statusCode(), c.status);
        EXPECT_FALSE(reply->hasNoResponse());
        EXPECT_EQ(reply->data, c.body); // the body is there whatever the outcome
        if (c.failure) {
            ASSERT_TRUE(reply->error);
            EXPECT_EQ(reply->error->kind(), HttpError::Kind::responseValidationFailed);
            EXPECT_EQ(reply->error->reason(), *c.failure);
        } else {
            EXPECT_FALSE(reply->error) << reply->errorText().toStdString();
        }
    }
}

TEST_F(HttpSessionTest, WithoutValidateAnErrorStatusIsASuccess)
{
    const auto reply = awaitString(session->get(peer.url(QStringLiteral("/nowhere"))));
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->isSuccess());
    EXPECT_EQ(reply->statusCode(), 404);
    EXPECT_EQ(reply->value, QStringLiteral(R"({"error":"Not found"})"));
}

TEST_F(HttpSessionTest, StringRepliesUseTheNamedCharsetElseLatin1AndRefuseEmptyBodies)
{
    const QByteArray cafe = "caf\xc3\xa9";
    const struct
    {
        const char* name;
        int status;
        QString contentType;
        QByteArray body;
        std::optional<QString> text; // nothing: failure
        HttpError::Reason reason;
    } cases[] = {
        {"utf-8 named", 200, QStringLiteral("text/plain; charset=utf-8"), cafe, QStringLiteral("café"), {}},
        {"quoted charset",
         200,
         QStringLiteral("text/plain; charset=\"UTF-8\""),
         cafe,
         QStringLiteral("café"),
         {}},
        {"no charset", 200, QStringLiteral("text/plain"), cafe, QString::fromLatin1(cafe), {}},
        {"empty body", 200, QStringLiteral("text/plain"), "", std::nullopt,
         HttpError::Reason::inputDataNilOrZeroLength},
        {"no content", 204, QString(), "", QString(), {}},
        {"bad utf-8", 200, QStringLiteral("text/plain; charset=utf-8"), "\xff\xfe", std::nullopt,
         HttpError::Reason::stringSerializationFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ManagementServerPeer::Answer answer;
        answer.status = c.status;
        answer.contentType = c.contentType;
        answer.body = c.body;
        ASSERT_TRUE(peer.script(QStringLiteral("/text"), answer));
        const auto reply =
            awaitString(session->get(peer.url(QStringLiteral("/text")))->validate().shared_from_this());
        ASSERT_TRUE(reply);
        if (c.text) {
            EXPECT_FALSE(reply->error) << reply->errorText().toStdString();
            EXPECT_EQ(reply->value, *c.text);
        } else {
            ASSERT_TRUE(reply->error);
            EXPECT_EQ(reply->error->reason(), c.reason);
            EXPECT_FALSE(reply->value);
        }
    }
}

TEST_F(HttpSessionTest, GarbageInsteadOfJsonIsAFailureWithTheBodyKept)
{
    const QByteArray garbage("<html>\x01\x02 not json {{{");
    ManagementServerPeer::Answer answer;
    answer.contentType = QStringLiteral("application/json");
    answer.body = garbage;
    ASSERT_TRUE(peer.script(QStringLiteral("user/retrievetoken"), answer));
    const auto reply = awaitResponse<RetriveTokenResponse>([&](auto done) {
        session
            ->post(peer.url(QStringLiteral("/Velmora/api/v2/user/retrievetoken")),
                   QMap<QString, QString>{{QStringLiteral("identifier"), QStringLiteral("X")}})
            ->validate()
            .responseDecodable<RetriveTokenResponse>(done);
    });
    ASSERT_TRUE(reply);
    ASSERT_TRUE(reply->error);
    EXPECT_EQ(reply->error->reason(), HttpError::Reason::decodingFailed);
    EXPECT_EQ(reply->statusCode(), 200);
    EXPECT_EQ(reply->data, garbage);
    EXPECT_FALSE(reply->value);
    const QStringList lines = LogEntries::read(Log::shared().currentFilePath());
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.last().startsWith(
        QStringLiteral("HttpSession: the reply of https://127.0.0.1:%1/Velmora/api/v2/user/retrievetoken "
                       "could not be decoded: ")
            .arg(peer.port())))
        << lines.last().toStdString();
}

TEST_F(HttpSessionTest, PostSendsTheParametersAsAJsonObjectAndGetEncodesThemInTheQuery)
{
    const QMap<QString, QString> parameters{{QStringLiteral("email"), QStringLiteral("jo+x@example.com")},
                                            {QStringLiteral("note"), QStringLiteral("a b&c=d/é")}};
    ASSERT_TRUE(awaitString(session->post(peer.url(QStringLiteral("/echo")), parameters,
                                          {{QStringLiteral("X-Trace"), QStringLiteral("7")}})));
    ASSERT_TRUE(awaitString(session->get(peer.url(QStringLiteral("/echo?keep=1")), parameters)));

    const auto received = peer.requests(QStringLiteral("/echo"));
    ASSERT_EQ(received.size(), 2);
    EXPECT_EQ(received[0].method, QStringLiteral("POST"));
    EXPECT_EQ(received[0].header(QStringLiteral("Content-Type")), QStringLiteral("application/json"));
    EXPECT_EQ(received[0].header(QStringLiteral("X-Trace")), QStringLiteral("7"));
    EXPECT_EQ(received[0].jsonBody(),
              (QJsonObject{{QStringLiteral("email"), QStringLiteral("jo+x@example.com")},
                           {QStringLiteral("note"), QStringLiteral("a b&c=d/é")}}));
    EXPECT_EQ(received[1].method, QStringLiteral("GET"));
    EXPECT_EQ(received[1].query,
              QStringLiteral("keep=1&email=jo%2Bx%40example.com&note=a%20b%26c%3Dd/%C3%A9"));
    EXPECT_TRUE(received[1].body.isEmpty());
    EXPECT_TRUE(received[1].header(QStringLiteral("User-Agent")).has_value());
}

TEST_F(HttpSessionTest, RedirectsAreFollowed)
{
    ManagementServerPeer::Answer moved;
    moved.status = 302;
    moved.headers = {{QStringLiteral("Location"), QStringLiteral("/new-home")}};
    ASSERT_TRUE(peer.script(QStringLiteral("/old-home"), moved));
    ManagementServerPeer::Answer arrived;
    arrived.body = "arrived";
    ASSERT_TRUE(peer.script(QStringLiteral("/new-home"), arrived));

    const auto reply =
        awaitString(session->get(peer.url(QStringLiteral("/old-home")))->validate().shared_from_this());
    ASSERT_TRUE(reply);
    EXPECT_FALSE(reply->error) << reply->errorText().toStdString();
    EXPECT_EQ(reply->value, QStringLiteral("arrived"));
    EXPECT_EQ(reply->response->url.path(), QStringLiteral("/new-home"));
    EXPECT_EQ(peer.requests(QStringLiteral("/new-home")).size(), 1);
}

TEST_F(HttpSessionTest, RefusedConnectionHasNoResponseAndStatusZero)
{
    const auto reply =
        awaitString(session->get(QUrl(QStringLiteral("https://127.0.0.1:%1/x").arg(closedPort()))));
    ASSERT_TRUE(reply);
    ASSERT_TRUE(reply->error);
    EXPECT_EQ(reply->error->kind(), HttpError::Kind::sessionTaskFailed);
    EXPECT_EQ(reply->error->networkError(), QNetworkReply::ConnectionRefusedError);
    EXPECT_TRUE(reply->hasNoResponse());
    EXPECT_EQ(reply->statusCode(), 0);
    EXPECT_TRUE(reply->data.isEmpty());
}

TEST_F(HttpSessionTest, InvalidAddressFailsWithoutStarting)
{
    QSignalSpy resumed(HttpEvents::shared(), &HttpEvents::requestDidResume);
    for (const QString& address : {QStringLiteral("not a url"), QStringLiteral("ftp://127.0.0.1/x"),
                                   QStringLiteral("https:///path")}) {
        const auto reply = awaitString(session->get(QUrl(address)));
        ASSERT_TRUE(reply) << address.toStdString();
        ASSERT_TRUE(reply->error);
        EXPECT_EQ(reply->error->kind(), HttpError::Kind::invalidURL);
    }
    EXPECT_EQ(resumed.count(), 0);
}

TEST_F(HttpSessionTest, CancelEndsARunningRequestAtOnce)
{
    ManagementServerPeer::Answer slow;
    slow.delayMs = 20'000;
    ASSERT_TRUE(peer.script(QStringLiteral("/slow"), slow));
    QSignalSpy finished(HttpEvents::shared(), &HttpEvents::requestDidFinish);
    auto request = session->get(peer.url(QStringLiteral("/slow")));
    std::optional<DataResponse<QString>> reply;
    request->responseString([&](const DataResponse<QString>& r) { reply = r; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !peer.requests(QStringLiteral("/slow")).isEmpty(); }, 10'000));
    request->cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return reply.has_value(); }, 5'000));
    ASSERT_TRUE(reply->error);
    EXPECT_EQ(reply->error->kind(), HttpError::Kind::explicitlyCancelled);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished[0][0].value<HttpRequestRecordPtr>()->error, QStringLiteral("cancelled"));
}

TEST_F(HttpSessionTest, EventsCarryTheRequestAndItsOutcome)
{
    ManagementServerPeer::Answer answer;
    answer.status = 201;
    answer.contentType = QStringLiteral("application/json");
    answer.body = R"({"id":7})";
    answer.headers = {{QStringLiteral("X-Request-Id"), QStringLiteral("abc")}};
    ASSERT_TRUE(peer.script(QStringLiteral("/events"), answer));
    QSignalSpy resumed(HttpEvents::shared(), &HttpEvents::requestDidResume);
    QSignalSpy finished(HttpEvents::shared(), &HttpEvents::requestDidFinish);

    const QUrl url(peer.url(QStringLiteral("/events")));
    ASSERT_TRUE(awaitString(
        session->post(url, QMap<QString, QString>{{QStringLiteral("say"), QStringLiteral("\"hi\"")}},
                      {HttpHeader::authorization(QStringLiteral("tok"))})));
    ASSERT_EQ(resumed.count(), 1);
    ASSERT_EQ(finished.count(), 1);
    const auto start = resumed[0][0].value<HttpRequestRecordPtr>();
    EXPECT_EQ(start->method, QStringLiteral("POST"));
    EXPECT_EQ(start->url, url);
    EXPECT_FALSE(start->hasMetrics);
    EXPECT_FALSE(start->statusCode);

    const auto end = finished[0][0].value<HttpRequestRecordPtr>();
    EXPECT_TRUE(end->isDataRequest);
    EXPECT_TRUE(end->hasMetrics);
    EXPECT_GT(end->duration, 0.0);
    EXPECT_LT(end->duration, 30.0);
    EXPECT_FALSE(end->error);
    EXPECT_EQ(end->statusCode, 201);
    EXPECT_EQ(end->responseData, QByteArray(R"({"id":7})"));
    EXPECT_TRUE(end->responseHeaders.contains(qMakePair(QByteArray("X-Request-Id"), QByteArray("abc"))));
    EXPECT_EQ(end->request.rawHeader("Authorization"), QByteArray("Bearer tok"));
    EXPECT_TRUE(end->cURLDescription.startsWith(QStringLiteral("$ curl -v \\\n\t-X POST \\\n\t")));
    EXPECT_TRUE(end->cURLDescription.contains(QStringLiteral("-H \"Authorization: Bearer tok\"")));
    EXPECT_TRUE(end->cURLDescription.contains(QStringLiteral(R"(-d "{\"say\":\"\\\"hi\\\"\"}")")))
        << end->cURLDescription.toStdString();
    EXPECT_TRUE(end->cURLDescription.endsWith(QLatin1Char('"') + url.toString() + QLatin1Char('"')));
}

TEST_F(HttpSessionTest, RequestsMadeOnAnotherThreadRunAndAnswerOnTheMainThread)
{
    ManagementServerPeer::Answer answer;
    answer.body = "from afar";
    ASSERT_TRUE(peer.script(QStringLiteral("/thread"), answer));
    std::optional<DataResponse<QString>> reply;
    QThread* handlerThread = nullptr;
    std::thread worker([&] {
        session->get(peer.url(QStringLiteral("/thread")))
            ->validate()
            .responseString([&](const DataResponse<QString>& r) {
                handlerThread = QThread::currentThread();
                reply = r;
            });
    });
    worker.join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return reply.has_value(); }, 30'000));
    EXPECT_EQ(reply->value, QStringLiteral("from afar"));
    EXPECT_EQ(handlerThread, QCoreApplication::instance()->thread());
}

TEST_F(HttpSessionTest, DestroyingTheSessionFinishesItsRequests)
{
    ManagementServerPeer::Answer slow;
    slow.delayMs = 20'000;
    ASSERT_TRUE(peer.script(QStringLiteral("/slow"), slow));
    std::optional<DataResponse<QString>> reply;
    session->get(peer.url(QStringLiteral("/slow")))->responseString([&](const DataResponse<QString>& r) {
        reply = r;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !peer.requests(QStringLiteral("/slow")).isEmpty(); }, 10'000));
    session.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return reply.has_value(); }, 5'000));
    ASSERT_TRUE(reply->error);
    EXPECT_EQ(reply->error->kind(), HttpError::Kind::sessionDeinitialized);
}
