#include "control/CopyLogMessage.h"
#include "control/DisableMessage.h"
#include "control/ExportCertificateMessage.h"
#include "control/InstallRootCertFailedMessage.h"
#include "control/InstallRootCertFinished.h"
#include "control/RelaxedPolicyMessage.h"
#include "control/SyncMessage.h"
#include "control/UpdateMessage.h"
#include "control/UrlBlockedMessage.h"
#include "control/UserDataSyncMessage.h"

#include "IpcTestPrinters.h"

#include <functional>
#include <gtest/gtest.h>
#include <typeinfo>

namespace {

SharedFileHandle openHandle()
{
    auto handle = std::make_shared<const FileHandle>(FileHandle::openForWriting(QStringLiteral("/dev/null")));
    EXPECT_TRUE(handle->isValid());
    return handle;
}

template <class Message> std::function<std::shared_ptr<IpcMessage>()> with(std::function<void(Message&)> set)
{
    return [set] {
        auto message = std::make_shared<Message>();
        set(*message);
        return message;
    };
}

template <class Message> std::function<std::shared_ptr<IpcMessage>()> plain()
{
    return [] { return std::make_shared<Message>(); };
}

struct WireCase
{
    const char* name;
    std::function<std::shared_ptr<IpcMessage>()> build;
    qint16 id;
    IpcDictionary wire;
    bool carriesHandle;
};

const QString kUrl = QStringLiteral("url");
const QString kCategory = QStringLiteral("category");
const QString kTrigger = QStringLiteral("textTrigger");
const QString kType = QStringLiteral("type");
const QString kSync = QStringLiteral("isSyncSuccessfull");
const QString kRequest = QStringLiteral("request");
const QString kText = QStringLiteral("messageOrPasscode");
const QString kAllowed = QStringLiteral("allowed");
const QString kEnable = QStringLiteral("enable");
const QString kPath = QStringLiteral("bundlePath");
const QString kPid = QStringLiteral("guiProcessPid");

std::vector<WireCase> wireCases()
{
    return {
        {"url blocked, initial",
         plain<UrlBlockedMessage>(),
         0,
         {{kUrl, ""}, {kCategory, ""}, {kTrigger, ""}},
         false},
        {"url blocked, set",
         with<UrlBlockedMessage>([](auto& m) {
             m.url = QStringLiteral("https://exämple.com/a?b=c&d=1");
             m.category = QStringLiteral("Adult Content");
             m.textTrigger = QStringLiteral("two\nlines \"quoted\" = 1");
         }),
         0,
         {{kUrl, QStringLiteral("https://exämple.com/a?b=c&d=1")},
          {kCategory, "Adult Content"},
          {kTrigger, "two\nlines \"quoted\" = 1"}},
         false},
        {"copy log, initial type",
         with<CopyLogMessage>([](auto& m) { m.handle = openHandle(); }),
         1,
         {{kType, "goLog"}},
         true},
        {"copy log, service",
         with<CopyLogMessage>([](auto& m) {
             m.type = LogType::serviceLog;
             m.handle = openHandle();
         }),
         1,
         {{kType, "serviceLog"}},
         true},
        {"copy log, gui",
         with<CopyLogMessage>([](auto& m) {
             m.type = LogType::guiLog;
             m.handle = openHandle();
         }),
         1,
         {{kType, "guiLog"}},
         true},
        {"sync, initial", plain<SyncMessage>(), 2, {{kSync, "0"}}, false},
        {"sync, successful",
         with<SyncMessage>([](auto& m) { m.isSyncSuccessfull = true; }),
         2,
         {{kSync, "1"}},
         false},
        {"user data request, data field set",
         with<UserDataSyncMessage>([](auto& m) {
             m.request = true;
             m.data = QByteArray("{\"not\":\"sent\"}");
         }),
         3,
         {{kRequest, "1"}},
         false},
        {"relaxed policy, initial",
         plain<RelaxedPolicyMessage>(),
         4,
         {{kText, ""}, {kAllowed, "0"}, {kEnable, "0"}},
         false},
        {"relaxed policy, enable request",
         with<RelaxedPolicyMessage>([](auto& m) { m.enable = true; }),
         4,
         {{kText, ""}, {kAllowed, "0"}, {kEnable, "1"}},
         false},
        {"relaxed policy, answer",
         with<RelaxedPolicyMessage>([](auto& m) {
             m.allowed = true;
             m.messageOrPasscode = QStringLiteral("Relaxed for 15 minutes");
         }),
         4,
         {{kText, "Relaxed for 15 minutes"}, {kAllowed, "1"}, {kEnable, "0"}},
         false},
        {"relaxed policy, both",
         with<RelaxedPolicyMessage>([](auto& m) {
             m.allowed = true;
             m.enable = true;
             m.messageOrPasscode = QStringLiteral("0000");
         }),
         4,
         {{kText, "0000"}, {kAllowed, "1"}, {kEnable, "1"}},
         false},
        {"disable, initial", plain<DisableMessage>(), 5, {{kPath, ""}, {kPid, "0"}}, false},
        {"disable, quit",
         with<DisableMessage>([](auto& m) {
             m.bundlePath = QStringLiteral("/opt/Nor vane.app");
             m.guiProcessPid = 42;
         }),
         5,
         {{kPath, "/opt/Nor vane.app"}, {kPid, "42"}},
         false},
        {"disable, largest pid",
         with<DisableMessage>([](auto& m) { m.guiProcessPid = 2147483647; }),
         5,
         {{kPath, ""}, {kPid, "2147483647"}},
         false},
        {"disable, smallest pid",
         with<DisableMessage>([](auto& m) { m.guiProcessPid = -2147483647 - 1; }),
         5,
         {{kPath, ""}, {kPid, "-2147483648"}},
         false},
        {"disable, negative pid",
         with<DisableMessage>([](auto& m) { m.guiProcessPid = -5; }),
         5,
         {{kPath, ""}, {kPid, "-5"}},
         false},
        {"install root cert failed, no handle", plain<InstallRootCertFailedMessage>(), 6, {}, false},
        {"install root cert failed, handle",
         with<InstallRootCertFailedMessage>([](auto& m) { m.handle = openHandle(); }),
         6,
         {},
         true},
        {"install root cert finished", plain<InstallRootCertFinished>(), 7, {}, false},
        {"update", plain<UpdateMessage>(), 8, {}, false},
        {"export certificate",
         with<ExportCertificateMessage>([](auto& m) { m.handle = openHandle(); }),
         9,
         {},
         true},
    };
}

} // namespace

TEST(IpcMessagePayload, EveryMessageGoesOnTheWireAndComesBackUnchanged)
{
    for (const WireCase& row : wireCases()) {
        SCOPED_TRACE(row.name);
        const auto sent = row.build();
        EXPECT_EQ(rawValue(sent->id()), row.id);
        EXPECT_EQ(sent->toDictionary(), row.wire);
        EXPECT_EQ(sent->fileHandle() != nullptr, row.carriesHandle);

        QString rejection;
        const auto received = IpcMessage::create(row.id, row.wire, sent->fileHandle(), &rejection);
        ASSERT_NE(received, nullptr) << rejection.toStdString();
        EXPECT_EQ(typeid(*received), typeid(*sent));
        EXPECT_EQ(received->toDictionary(), row.wire);
        // The same open file, shared, not a copy.
        EXPECT_EQ(received->fileHandle(), sent->fileHandle());
    }
}

TEST(IpcMessagePayload, ReceivedFieldsAreTyped)
{
    {
        const auto message = IpcMessage::create(
            4, {{kText, "Not now"}, {kAllowed, "1"}, {kEnable, "0"}, {"extra", "ignored"}}, nullptr);
        const auto& relaxed = dynamic_cast<const RelaxedPolicyMessage&>(*message);
        EXPECT_EQ(relaxed.messageOrPasscode, QStringLiteral("Not now"));
        EXPECT_TRUE(relaxed.allowed);
        EXPECT_FALSE(relaxed.enable);
    }
    {
        const auto message = IpcMessage::create(0, {{kUrl, "u"}, {kCategory, "c"}, {kTrigger, "t"}}, nullptr);
        const auto& blocked = dynamic_cast<const UrlBlockedMessage&>(*message);
        EXPECT_EQ(blocked.url, QStringLiteral("u"));
        EXPECT_EQ(blocked.category, QStringLiteral("c"));
        EXPECT_EQ(blocked.textTrigger, QStringLiteral("t"));
    }
    {
        const auto handle = openHandle();
        const auto message = IpcMessage::create(1, {{kType, "serviceLog"}}, handle);
        const auto& copyLog = dynamic_cast<const CopyLogMessage&>(*message);
        EXPECT_EQ(copyLog.type, LogType::serviceLog);
        EXPECT_EQ(copyLog.handle, handle);
    }
    {
        const auto message = IpcMessage::create(5, {{kPath, "/p"}, {kPid, "+123"}}, nullptr);
        const auto& disable = dynamic_cast<const DisableMessage&>(*message);
        EXPECT_EQ(disable.bundlePath, QStringLiteral("/p"));
        EXPECT_EQ(disable.guiProcessPid, 123);
    }
}

TEST(IpcMessagePayload, AbsentTextKeysReadEmpty)
{
    const auto blocked = IpcMessage::create(0, {}, nullptr);
    ASSERT_NE(blocked, nullptr);
    EXPECT_EQ(blocked->toDictionary(), (IpcDictionary{{kUrl, ""}, {kCategory, ""}, {kTrigger, ""}}));
    const auto relaxed = IpcMessage::create(4, {}, nullptr);
    EXPECT_EQ(relaxed->toDictionary(), (IpcDictionary{{kText, ""}, {kAllowed, "0"}, {kEnable, "0"}}));
    const auto disable = IpcMessage::create(5, {}, nullptr);
    EXPECT_EQ(disable->toDictionary(), (IpcDictionary{{kPath, ""}, {kPid, "0"}}));
}

TEST(IpcMessagePayload, BooleansAreTrueOnlyForExactlyOne)
{
    const std::vector<std::pair<std::optional<QString>, bool>> readings = {
        {QStringLiteral("1"), true},       {QStringLiteral("0"), false},   {QStringLiteral("true"), false},
        {QStringLiteral("01"), false},     {QStringLiteral(" 1"), false},  {QStringLiteral("1 "), false},
        {QStringLiteral(""), false},       {QStringLiteral("2"), false},   {QStringLiteral("\u0661"), false},
        {QStringLiteral("\uff11"), false}, {QStringLiteral("yes"), false}, {std::nullopt, false},
    };
    for (const auto& [value, expected] : readings) {
        SCOPED_TRACE(value.value_or(QStringLiteral("<absent>")).toStdString());
        const auto payload = [&](const QString& key) {
            IpcDictionary dictionary;
            if (value)
                dictionary.insert(key, *value);
            return dictionary;
        };
        const auto sync =
            std::dynamic_pointer_cast<SyncMessage>(IpcMessage::create(2, payload(kSync), nullptr));
        ASSERT_NE(sync, nullptr);
        EXPECT_EQ(sync->isSyncSuccessfull, expected);

        // Each of the two flags reads its own key only.
        auto allowedOnly = payload(kAllowed);
        const auto allowed =
            std::dynamic_pointer_cast<RelaxedPolicyMessage>(IpcMessage::create(4, allowedOnly, nullptr));
        EXPECT_EQ(allowed->allowed, expected);
        EXPECT_FALSE(allowed->enable);
        const auto enable =
            std::dynamic_pointer_cast<RelaxedPolicyMessage>(IpcMessage::create(4, payload(kEnable), nullptr));
        EXPECT_EQ(enable->enable, expected);
        EXPECT_FALSE(enable->allowed);

        // "request" alone has another default: absent means asking.
        const auto user =
            std::dynamic_pointer_cast<UserDataSyncMessage>(IpcMessage::create(3, payload(kRequest), nullptr));
        EXPECT_EQ(user->request, value ? expected : true);
    }
}

TEST(IpcMessagePayload, ProcessIdentifierReadsAsA32BitInteger)
{
    const std::vector<std::pair<std::optional<QString>, qint32>> readings = {
        {QStringLiteral("42"), 42},
        {QStringLiteral("+123"), 123},
        {QStringLiteral("-5"), -5},
        {QStringLiteral("2147483647"), 2147483647},
        {QStringLiteral("-2147483648"), -2147483647 - 1},
        {QStringLiteral("+2147483647"), 2147483647},
        {QStringLiteral("007"), 7},
        {QStringLiteral("-0"), 0},
        {QStringLiteral("0000000000000000000012"), 12},
        {QStringLiteral("2147483648"), 0},
        {QStringLiteral("-2147483649"), 0},
        {QStringLiteral("99999999999999999999999"), 0},
        {QStringLiteral("12a"), 0},
        {QStringLiteral("a12"), 0},
        {QStringLiteral(""), 0},
        {QStringLiteral("+"), 0},
        {QStringLiteral("-"), 0},
        {QStringLiteral("+-1"), 0},
        {QStringLiteral("--1"), 0},
        {QStringLiteral(" 1"), 0},
        {QStringLiteral("1 "), 0},
        {QStringLiteral("1.0"), 0},
        {QStringLiteral("1e3"), 0},
        {QStringLiteral("0x10"), 0},
        {QStringLiteral("\u0663"), 0}, // an Arabic-Indic three
        {QStringLiteral("\uff15"), 0}, // a full-width five
        {std::nullopt, 0},
    };
    for (const auto& [value, expected] : readings) {
        SCOPED_TRACE(value.value_or(QStringLiteral("<absent>")).toStdString());
        IpcDictionary payload{{kPath, "/a"}};
        if (value)
            payload.insert(kPid, *value);
        const auto disable =
            std::dynamic_pointer_cast<DisableMessage>(IpcMessage::create(5, payload, nullptr));
        ASSERT_NE(disable, nullptr);
        EXPECT_EQ(disable->guiProcessPid, expected);
        EXPECT_EQ(disable->bundlePath, QStringLiteral("/a"));
    }
}

TEST(IpcMessagePayload, InitialValues)
{
    const UserDataSyncMessage user;
    EXPECT_FALSE(user.data.has_value());
    EXPECT_FALSE(user.request);
    EXPECT_EQ(CopyLogMessage().type, LogType::goLog);
    EXPECT_EQ(CopyLogMessage().handle, nullptr);
    EXPECT_EQ(InstallRootCertFailedMessage().fileHandle(), nullptr);
    EXPECT_EQ(ExportCertificateMessage().fileHandle(), nullptr);
    EXPECT_FALSE(SyncMessage().isSyncSuccessfull);
}
