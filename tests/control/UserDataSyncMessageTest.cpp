#include "control/UserDataSyncMessage.h"

#include "IpcTestPrinters.h"
#include "core/SessionData.h"
#include "platform/UserDefaults.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {
const QString kRequest = QStringLiteral("request");
const QString kData = QStringLiteral("data");

std::shared_ptr<UserDataSyncMessage> receive(const IpcDictionary& payload)
{
    return std::dynamic_pointer_cast<UserDataSyncMessage>(IpcMessage::create(3, payload, nullptr));
}
} // namespace

TEST(UserDataSyncMessage, SendsTheSharedSessionByDefault)
{
    UserDefaults::standard().setString(SessionData::authTokenKey, QStringLiteral("stored-token"));
    const IpcDictionary wire = UserDataSyncMessage().toDictionary();
    const auto decoded = QJsonDocument::fromJson(wire.value(kData).toUtf8()).object();
    EXPECT_EQ(decoded.value(QStringLiteral("authToken")).toString(), QStringLiteral("stored-token"));
    EXPECT_TRUE(decoded.contains(QStringLiteral("userConfig")));
}

TEST(UserDataSyncMessage, SendsTheSessionJsonCurrentAtSendingTime)
{
    QByteArray session = R"({"authToken":"t","userName":"Zoë"})";
    UserDataSyncMessage::setSessionDataSource([&] { return std::optional<QByteArray>(session); });
    UserDataSyncMessage message;
    message.data = QByteArray("the field is not what is sent");
    EXPECT_EQ(message.toDictionary(),
              (IpcDictionary{{kRequest, "0"},
                             {kData, QString::fromUtf8(R"({"authToken":"t","userName":"Zoë"})")}}));

    session = R"({"authToken":"u"})";
    const IpcDictionary wire = message.toDictionary();
    EXPECT_EQ(wire.value(kData), QStringLiteral(R"({"authToken":"u"})"));

    const auto received = receive(wire);
    ASSERT_NE(received, nullptr);
    EXPECT_FALSE(received->request);
    EXPECT_EQ(received->data, session);
    UserDataSyncMessage::setSessionDataSource(nullptr);
}

TEST(UserDataSyncMessage, DataThatCannotBeSentIsLeftOutOrEmpty)
{
    const std::vector<std::tuple<const char*, UserDataSyncMessage::SessionDataSource, IpcDictionary>> cases =
        {
            {"no source", nullptr, {{kRequest, "0"}}},
            {"session does not encode", [] { return std::optional<QByteArray>(); }, {{kRequest, "0"}}},
            {"not UTF-8",
             [] { return std::optional<QByteArray>(QByteArray("{\"a\":\"\xff\xfe\"}")); },
             {{kRequest, "0"}, {kData, ""}}},
            {"empty JSON text",
             [] { return std::optional<QByteArray>(QByteArray()); },
             {{kRequest, "0"}, {kData, ""}}},
        };
    for (const auto& [name, source, expected] : cases) {
        SCOPED_TRACE(name);
        UserDataSyncMessage::setSessionDataSource(source);
        EXPECT_EQ(UserDataSyncMessage().toDictionary(), expected);
    }
    UserDataSyncMessage::setSessionDataSource(nullptr);
}

TEST(UserDataSyncMessage, ARequestNeverCarriesData)
{
    UserDataSyncMessage::setSessionDataSource([] { return std::optional<QByteArray>("{}"); });
    UserDataSyncMessage request;
    request.request = true;
    request.data = QByteArray("{}");
    EXPECT_EQ(request.toDictionary(), (IpcDictionary{{kRequest, "1"}}));
    UserDataSyncMessage::setSessionDataSource(nullptr);
}

TEST(UserDataSyncMessage, ReceivedDataIsAlwaysPresent)
{
    const auto empty = receive({});
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->request);
    ASSERT_TRUE(empty->data.has_value());
    EXPECT_TRUE(empty->data->isEmpty());

    const auto noData = receive({{kRequest, "0"}});
    EXPECT_FALSE(noData->request);
    ASSERT_TRUE(noData->data.has_value());
    EXPECT_TRUE(noData->data->isEmpty());

    const auto withData = receive({{kRequest, "1"}, {kData, QString::fromUtf8("{\"é\":1}")}});
    EXPECT_TRUE(withData->request);
    EXPECT_EQ(withData->data, QByteArray("{\"\xc3\xa9\":1}"));
}
