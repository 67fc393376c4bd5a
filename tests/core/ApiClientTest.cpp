#include "core/ApiClient.h"
#include "core/ApiUrls.h"
#include "core/Device.h"
#include "core/ErrorStringResponse.h"
#include "core/HttpSession.h"
#include "core/RetriveTokenResponse.h"
#include "core/UrlEncoding.h"
#include "platform/Bundle.h"
#include "platform/Hardware.h"
#include "platform/UserDefaults.h"

#include "HttpTestSupport.h"
#include "ManagementServerPeer.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

// Starts the peer before anything computes the server's addresses.
class ApiClientTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(peer.isRunning()); }
    ManagementServerPeer peer;
};

QJsonObject expectedDeviceParameters()
{
    return {
        {QStringLiteral("identifier"), Device::fingerprint()},
        {QStringLiteral("device_id"), Hardware::localizedHostName()},
        {QStringLiteral("os"), QStringLiteral("OSX")},
        {QStringLiteral("app_version"), Device::appVersion()},
        {QStringLiteral("os_version"), Device::osVersion()},
    };
}

QJsonObject with(QJsonObject object, const QString& key, const QString& value)
{
    object.insert(key, value);
    return object;
}

} // namespace

TEST_F(ApiClientTest, AddressesAreTheServerHostUnderTheApiBase)
{
    const QString base = QStringLiteral("https://") + peer.host() + QStringLiteral("/Velmora/api/v2/");
    EXPECT_EQ(ApiUrls::baseUrl(), base);
    EXPECT_EQ(ApiUrls::getToken(), base + QStringLiteral("user/gettoken"));
    EXPECT_EQ(ApiUrls::activationEmail(), base + QStringLiteral("user/activation/email"));
    EXPECT_EQ(ApiUrls::retrieveToken(), base + QStringLiteral("user/retrievetoken"));
    EXPECT_EQ(ApiUrls::selfModerationAdd(), base + QStringLiteral("me/self_moderation/add"));
    EXPECT_EQ(ApiUrls::deactivate(), base + QStringLiteral("me/deactivate"));
}

TEST_F(ApiClientTest, HeadersAndDeviceParametersAsTheServerReceivedThem)
{
    Bundle::setMainBundlePath(QStringLiteral(NORVANE_TEST_BUNDLE_DIR));
    ASSERT_FALSE(Device::appVersion().isEmpty());
    UserDefaults::standard().remove(QStringLiteral("authToken"));

    // Signed out: the Bearer header has no token.
    ASSERT_TRUE(awaitString(ApiClient::session().post(ApiUrls::deactivate(), ApiClient::deviceParameters(),
                                                      ApiClient::headers())));
    // Sign-in with password: Basic credentials, the e-mail besides the device parameters.
    const auto signIn =
        awaitString(ApiClient::session()
                        .post(ApiUrls::getToken(),
                              ApiClient::parameters({{QStringLiteral("email"),
                                                      QLatin1String(ManagementServerPeer::demoEmail)}}),
                              {HttpHeader::authorization(QLatin1String(ManagementServerPeer::demoEmail),
                                                         QLatin1String(ManagementServerPeer::demoPassword))})
                        ->validate()
                        .shared_from_this());
    ASSERT_TRUE(signIn);
    ASSERT_TRUE(signIn->isSuccess()) << signIn->errorText().toStdString();
    UserDefaults::standard().setString(QStringLiteral("authToken"), *signIn->value);
    // A later request in the same process carries the token stored by the sign-in.
    const auto add = awaitResponse<ErrorStringResponse>([&](auto done) {
        ApiClient::session()
            .post(ApiUrls::selfModerationAdd(),
                  ApiClient::parameters({{QStringLiteral("url"), QStringLiteral("example.com")}}),
                  ApiClient::headers())
            ->validate()
            .responseDecodable<ErrorStringResponse>(done);
    });
    ASSERT_TRUE(add);
    EXPECT_TRUE(add->isSuccess()) << add->errorText().toStdString();

    const auto received = peer.requests();
    ASSERT_EQ(received.size(), 3);
    const QString accept = QStringLiteral("application/json,text/html,text/plain;q=0.8,*/*;q=0.8");

    EXPECT_EQ(received[0].path, QStringLiteral("/Velmora/api/v2/me/deactivate"));
    // "Bearer " with nothing after it; the server's parser drops the trailing blank.
    EXPECT_EQ(received[0].header(QStringLiteral("Authorization")).value_or(QString()).trimmed(),
              QStringLiteral("Bearer"));
    EXPECT_EQ(received[0].header(QStringLiteral("Accept")), accept);
    EXPECT_EQ(received[0].header(QStringLiteral("Content-Type")), QStringLiteral("application/json"));
    EXPECT_EQ(received[0].jsonBody(), expectedDeviceParameters());

    EXPECT_EQ(received[1].path, QStringLiteral("/Velmora/api/v2/user/gettoken"));
    EXPECT_EQ(received[1].header(QStringLiteral("Authorization")),
              QStringLiteral("Basic ") +
                  QString::fromLatin1(QByteArray("demo@norvane.org:demo-password").toBase64()));
    EXPECT_EQ(received[1].jsonBody(),
              with(expectedDeviceParameters(), QStringLiteral("email"), QStringLiteral("demo@norvane.org")));

    EXPECT_EQ(received[2].path, QStringLiteral("/Velmora/api/v2/me/self_moderation/add"));
    EXPECT_EQ(received[2].header(QStringLiteral("Authorization")),
              QStringLiteral("Bearer ") + QLatin1String(ManagementServerPeer::demoToken));
    EXPECT_EQ(received[2].header(QStringLiteral("Accept")), accept);
    EXPECT_EQ(received[2].jsonBody(),
              with(expectedDeviceParameters(), QStringLiteral("url"), QStringLiteral("example.com")));
}

TEST_F(ApiClientTest, ErrorReplyIsAFailureWhoseBodyDecodesAsErrorStringResponse)
{
    ManagementServerPeer::Answer answer;
    answer.status = 400;
    answer.contentType = QStringLiteral("application/json");
    answer.body = R"({"error": "Site is already blocked"})";
    ASSERT_TRUE(peer.script(QStringLiteral("me/self_moderation/add"), answer));

    const auto reply = awaitResponse<ErrorStringResponse>([&](auto done) {
        ApiClient::session()
            .post(ApiUrls::selfModerationAdd(),
                  ApiClient::parameters({{QStringLiteral("url"), QStringLiteral("example.com")}}),
                  ApiClient::headers())
            ->validate()
            .responseDecodable<ErrorStringResponse>(done);
    });
    ASSERT_TRUE(reply);
    ASSERT_TRUE(reply->isFailure());
    EXPECT_EQ(reply->error->reason(), HttpError::Reason::unacceptableStatusCode);
    EXPECT_EQ(reply->statusCode(), 400);
    const auto decoded = ErrorStringResponse::decode(reply->data);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->error, QStringLiteral("Site is already blocked"));
}

TEST_F(ApiClientTest, RetrieveTokenRepliesDecode)
{
    // The peer answers {} while no e-mail sign-in is pending, then the token once.
    const auto retrieve = [&] {
        return awaitResponse<RetriveTokenResponse>([&](auto done) {
            ApiClient::session()
                .post(ApiUrls::retrieveToken(), ApiClient::deviceParameters())
                ->validate()
                .responseDecodable<RetriveTokenResponse>(done);
        });
    };
    const auto pending = retrieve();
    ASSERT_TRUE(pending);
    ASSERT_TRUE(pending->isSuccess()) << pending->errorText().toStdString();
    EXPECT_FALSE(pending->value->authToken);
    EXPECT_FALSE(pending->value->userEmail);

    ASSERT_TRUE(awaitString(ApiClient::session().post(
        ApiUrls::activationEmail(),
        ApiClient::parameters({{QStringLiteral("email"), QLatin1String(ManagementServerPeer::demoEmail)}}))));
    const auto confirmed = retrieve();
    ASSERT_TRUE(confirmed);
    ASSERT_TRUE(confirmed->isSuccess()) << confirmed->errorText().toStdString();
    EXPECT_EQ(confirmed->value->authToken, QLatin1String(ManagementServerPeer::demoToken));
    EXPECT_EQ(confirmed->value->userEmail, QLatin1String(ManagementServerPeer::demoEmail));
}

TEST(ReplyRecords, DecodeOptionalTextMembersAndRefuseEverythingElse)
{
    const struct
    {
        QByteArray json;
        bool decodes;
        std::optional<QString> authToken;
        std::optional<QString> userEmail;
    } cases[] = {
        {"{}", true, std::nullopt, std::nullopt},
        {R"({"authToken":"t","userEmail":"e@x"})", true, QStringLiteral("t"), QStringLiteral("e@x")},
        {R"({"authToken":"","userEmail":null,"other":5})", true, QString(), std::nullopt},
        {R"({"authToken":5})", false, {}, {}},
        {R"({"userEmail":["a"]})", false, {}, {}},
        {"[]", false, {}, {}},
        {"\"text\"", false, {}, {}},
        {"", false, {}, {}},
        {"<html>", false, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json.toStdString());
        QString problem;
        const auto decoded = RetriveTokenResponse::decode(c.json, &problem);
        ASSERT_EQ(decoded.has_value(), c.decodes);
        if (decoded) {
            EXPECT_EQ(decoded->authToken, c.authToken);
            EXPECT_EQ(decoded->userEmail, c.userEmail);
        } else {
            EXPECT_FALSE(problem.isEmpty());
        }
    }
    EXPECT_EQ(ErrorStringResponse::decode(R"({"error":"no"})")->error, QStringLiteral("no"));
    EXPECT_FALSE(ErrorStringResponse::decode(R"({"message":"no"})")->error);
    EXPECT_FALSE(ErrorStringResponse::decode(R"({"error":null})")->error);
    EXPECT_FALSE(ErrorStringResponse::decode(R"({"error":{"code":1}})"));
    EXPECT_FALSE(ErrorStringResponse::decode("Internal Server Error"));
}

TEST_F(ApiClientTest, UnblockAddressInsertsEmailAndDeviceNameAsTheyAre)
{
    UserDefaults::standard().setString(QStringLiteral("userEmail"), QStringLiteral("jo+filter@example.com"));
    const QString address = ApiClient::unblockRequestUrl();
    const QString prefix =
        QStringLiteral("https://") + peer.host() +
        QStringLiteral("/unblock_request/new_request?user_id=jo+filter@example.com&device_name=");
    ASSERT_TRUE(address.startsWith(prefix)) << address.toStdString();

    const QRegularExpressionMatch rest =
        QRegularExpression(QStringLiteral("^([A-Za-z0-9+/=]*)&platform=nrvm&token=(.*)$"))
            .match(address.mid(prefix.size()));
    ASSERT_TRUE(rest.hasMatch()) << address.toStdString();
    EXPECT_EQ(QByteArray::fromBase64(rest.captured(1).toLatin1(), QByteArray::AbortOnBase64DecodingErrors),
              Hardware::localizedHostName().toUtf8());
    const std::optional<QString> serial = Device::serialNumber();
    EXPECT_EQ(rest.captured(2), serial ? Device::fingerprintOf(*serial) : QString());

    UserDefaults::standard().remove(QStringLiteral("userEmail"));
    EXPECT_TRUE(ApiClient::unblockRequestUrl().contains(QStringLiteral("?user_id=&device_name=")));
}

TEST(UrlEncoding, QueryTexts)
{
    const struct
    {
        QString text;
        QString queryAllowed;
        QString component;
    } cases[] = {
        {QStringLiteral("0F1CAA14AD0E"), QStringLiteral("0F1CAA14AD0E"), QStringLiteral("0F1CAA14AD0E")},
        {QStringLiteral("a b+c/d?e=f&g"), QStringLiteral("a%20b+c/d?e=f&g"),
         QStringLiteral("a%20b%2Bc/d?e%3Df%26g")},
        {QStringLiteral("#%é\"<>"), QStringLiteral("%23%25%C3%A9%22%3C%3E"),
         QStringLiteral("%23%25%C3%A9%22%3C%3E")},
        {QStringLiteral("x@y:z;!*'(),$~-._"), QStringLiteral("x@y:z;!*'(),$~-._"),
         QStringLiteral("x%40y%3Az%3B%21%2A%27%28%29%2C%24~-._")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UrlEncoding::urlQueryAllowed(c.text), c.queryAllowed) << c.text.toStdString();
        EXPECT_EQ(UrlEncoding::queryComponent(c.text), c.component) << c.text.toStdString();
    }
    EXPECT_EQ(UrlEncoding::query({{QStringLiteral("v"), QStringLiteral("1.4.2")},
                                  {QStringLiteral("acid"), QStringLiteral("A B")}}),
              QStringLiteral("acid=A%20B&v=1.4.2"));
}
