// The filter-extension stand-in as the application meets it: a separate process on the
// link, driven from the app's side with the transport and the message classes.
#include "FilterExtensionPeer.h"
#include "AppSideConnection.h"
#include "IpcTestPrinters.h"
#include "ManagementServerPeer.h"
#include "TestEnvironment.h"
#include "TestPipe.h"

#include "control/CopyLogMessage.h"
#include "control/DisableMessage.h"
#include "control/ExportCertificateMessage.h"
#include "control/InstallRootCertFinished.h"
#include "control/RelaxedPolicyMessage.h"
#include "control/SyncMessage.h"
#include "control/UpdateMessage.h"
#include "control/UserDataSyncMessage.h"
#include "core/Day.h"
#include "core/SessionData.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <poll.h>
#include <unistd.h>

namespace {

const QString kRequest = QStringLiteral("request");
const QString kData = QStringLiteral("data");

QJsonObject fileSession(const QString& token)
{
    return QJsonObject{
        {QStringLiteral("authToken"), token},
        {QStringLiteral("userEmail"), QStringLiteral("file@norvane.org")},
        {QStringLiteral("userConfig"),
         QJsonObject{{QStringLiteral("BypassesPermitted"), 5},
                     {QStringLiteral("UpdateChannel"), QStringLiteral("Beta")}}},
        {QStringLiteral("lastSyncTime"), 700000000.0},
        {QStringLiteral("isLastSyncFailed"), true},
        {QStringLiteral("bypassesUsed"), 2},
        {QStringLiteral("relaxedPolicyEnabledTime"), QJsonValue(QJsonValue::Null)},
        {QStringLiteral("lastRelaxedPolicyUsedTime"), 700000000.0},
    };
}

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString userDataPath()
{
    return TestEnvironment::root() + QStringLiteral("/session.json");
}

QProcessEnvironment userDataEnvironment(const QString& path)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("NORVANE_EXTENSION_USER_DATA"), path);
    return environment;
}

// Everything written into the pipe until every write end is closed; nullopt on timeout.
std::optional<QByteArray> readUntilClosed(const TestPipe& pipe,
                                          std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    const QDeadlineTimer deadline(timeout);
    QByteArray content;
    for (;;) {
        pollfd descriptor{pipe.readEnd.fileDescriptor(), POLLIN, 0};
        if (::poll(&descriptor, 1, int(std::max<qint64>(0, deadline.remainingTime()))) <= 0)
            return std::nullopt;
        char chunk[4096];
        const ssize_t count = ::read(pipe.readEnd.fileDescriptor(), chunk, sizeof chunk);
        if (count == 0)
            return content;
        if (count > 0)
            content.append(chunk, count);
    }
}

// A message whose file is the pipe's write end; our own copy of it closes with the message.
template <typename Message> std::unique_ptr<Message> withWriteEnd(TestPipe& pipe)
{
    auto message = std::make_unique<Message>();
    message->handle = std::make_shared<const FileHandle>(std::move(pipe.writeEnd));
    return message;
}

// The user-data answer to one request from the app.
std::optional<AppSideConnection::Delivery> requestUserData(AppSideConnection& app)
{
    UserDataSyncMessage request;
    request.request = true;
    app.send(request);
    return app.take(IpcMessageId::userDataSync);
}

class FilterExtensionPeerTest : public ::testing::Test
{
protected:
    FilterExtensionPeer peer;
};

} // namespace

TEST_F(FilterExtensionPeerTest, RegistersTheAppAndCountsItsConnection)
{
    ASSERT_TRUE(peer.start());
    EXPECT_EQ(peer.clients(), 0);
    AppSideConnection app(QLatin1String(FilterExtensionPeer::serviceName));
    EXPECT_EQ(app.registerWithPeer(), std::optional<bool>(true));
    ASSERT_TRUE(peer.waitForClients(1, true));
    const auto clients = peer.command({{QStringLiteral("cmd"), QStringLiteral("clients")}});
    ASSERT_TRUE(clients);
    EXPECT_EQ(clients->value(QStringLiteral("pids")).toArray(), QJsonArray{qint64(::getpid())});
}

TEST_F(FilterExtensionPeerTest, AnswersAUserDataRequestWithTheSessionOfItsFile)
{
    TestEnvironment::writeFile(userDataPath(),
                               QJsonDocument(fileSession(QStringLiteral("file-token-1"))).toJson());
    ASSERT_TRUE(peer.start(userDataEnvironment(userDataPath())));
    AppSideConnection app(QLatin1String(FilterExtensionPeer::serviceName));

    const auto answer = requestUserData(app);
    ASSERT_TRUE(answer && answer->message);
    EXPECT_EQ(
        answer->payload,
        (IpcDictionary{{kRequest, "0"}, {kData, QString::fromUtf8(compact(fileSession("file-token-1")))}}));
    const auto decoded = SessionData::fromJson(*static_cast<UserDataSyncMessage&>(*answer->message).data);
    ASSERT_TRUE(decoded) << decoded.error().toStdString();
    EXPECT_EQ(decoded.value()->authToken(), QStringLiteral("file-token-1"));
    EXPECT_EQ(decoded.value()->userConfig().BypassesPermitted, 5);

    // The file is read at every request, and the reply-carrying call works the same way.
    TestEnvironment::writeFile(userDataPath(), compact(fileSession(QStringLiteral("file-token-2"))));
    UserDataSyncMessage request;
    request.request = true;
    EXPECT_EQ(app.sendWithReply(request), std::optional<bool>(true));
    const auto second = app.take(IpcMessageId::userDataSync);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->payload.value(kData), QString::fromUtf8(compact(fileSession("file-token-2"))));
}

TEST_F(FilterExtensionPeerTest, WithoutAUserDataFileAnswersWithTheDemoSession)
{
    for (const bool setButMissing : {false, true}) {
        SCOPED_TRACE(setButMissing ? "file missing" : "variable unset");
        FilterExtensionPeer demoPeer;
        ASSERT_TRUE(demoPeer.start(
            setButMissing
                ? userDataEnvironment(TestEnvironment::root() + QStringLiteral("/no-such-session.json"))
                : QProcessEnvironment()));
        AppSideConnection app(QLatin1String(FilterExtensionPeer::serviceName));
        const auto answer = requestUserData(app);
        ASSERT_TRUE(answer && answer->message);
        const auto decoded = SessionData::fromJson(*static_cast<UserDataSyncMessage&>(*answer->message).data);
        ASSERT_TRUE(decoded) << decoded.error().toStdString();
        const SessionData& session = *decoded.value();
        EXPECT_EQ(session.authToken(), QLatin1String(ManagementServerPeer::demoToken));
        EXPECT_EQ(session.userEmail(), QLatin1String(ManagementServerPeer::demoEmail));
        const ServerConfiguaration config = session.userConfig();
        EXPECT_EQ(config.BypassesPermitted, 3);
        EXPECT_EQ(config.BypassDuration, 30);
        EXPECT_EQ(config.UpdateChannel, QStringLiteral("Stable"));
        EXPECT_EQ(config.DebugEnabled, 1);
        ASSERT_TRUE(config.SelfModeration);
        EXPECT_FALSE(config.SelfModeration->isEmpty());
        ASSERT_TRUE(config.TimeRestrictions);
        for (const Day day : allDays())
            EXPECT_TRUE(config.TimeRestrictions->contains(rawValue(day))) << rawValue(day).toStdString();
        EXPECT_EQ(demoPeer.stop(), std::optional<int>(0));
    }
}

TEST_F(FilterExtensionPeerTest, AUserDataFileThatDoesNotParseIsAnsweredWithoutData)
{
    TestEnvironment::writeFile(userDataPath(), "");
    ASSERT_TRUE(peer.start(userDataEnvironment(userDataPath())));
    AppSideConnection app(QLatin1String(FilterExtensionPeer::serviceName));
    const QByteArray truncated = compact(fileSession(QStringLiteral("t"))).chopped(1);
    for (const QByteArray& content : {QByteArray(), QByteArray("garbage{"), QByteArray("[1, 2]"), truncated,
                                      QByteArray("\xff\xfe\x00{", 4)}) {
        SCOPED_TRACE(content.toStdString());
        TestEnvironment::writeFile(userDataPath(), content);
        const auto answer = requestUserData(app);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->payload, (IpcDictionary{{kRequest, "0"}}));
    }
    // Mended, the file is used again.
    TestEnvironment::writeFile(userDataPath(), compact(fileSession(QStringLiteral("mended"))));
    const auto answer = requestUserData(app);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->payload.value(kData), QString::fromUtf8(compact(fileSession("mended"))));
}

TEST_F(FilterExtensionPeerTest, CopyLogFillsTheFileTheAppSends)
{
    ASSERT_TRUE(peer.start());
    AppSideConnection app(QLatin1String(FilterExtensionPeer::serviceName));
    const QString exportPath = TestEnvironment::root() + QStringLiteral("/golog_export.txt");
    {
        CopyLogMessage toFile;
        toFile.type = LogType::goLog;
        toFile.handle = std::make_shared<const FileHandle>(FileHandle::openForWriting(exportPath));
        ASSERT_TRUE(toFile.handle->isValid());
        app.send(toFile);
    }
    // Deliveries are handled in order: once the pipe's copy is done, so is the file's.
    TestPipe pipe;
    {
        const auto toPipe = withWriteEnd<CopyLogMessage>(pipe);
        toPipe->type = LogType::serviceLog;
        app.send(*toPipe);
    }
    const auto piped = readUntilClosed(pipe);
    ASSERT_TRUE(piped);
    EXPECT_TRUE(piped->startsWith("Norvane filter extension")) << piped->left(200).toStdString();
    EXPECT_TRUE(piped->contains("log serviceLog"));
    EXPECT_TRUE(piped->contains("Received copyLog from pid")) << "the log's own lines follow the heading";

    const QString file = TestEnvironment::readFile(exportPath);
    EXPECT_TRUE(file.contains(QStringLiteral("log goLog"))) << file.left(200).toStdString();
    EXPECT_FALSE(file.contains(QStringLiteral("serviceLog")));
}

TEST_F(FilterExtensionPeerTest, ExportCertificateWritesItsRootCertificate)
{
    ASSERT_TRUE(peer.start());
    AppSideConnection app(QLatin1String(FilterExtensionPeer::serviceName));
    TestPipe pipe;
    app.send(*withWriteEnd<ExportCertificateMessage>(pipe));
    const auto pem = readUntilClosed(pipe);
    ASSERT_TRUE(pem);
    EXPECT_EQ(QString::fromLatin1(*pem), peer.certificatePem());

    BIO* bio = BIO_new_mem_buf(pem->constData(), int(pem->size()));
    X509* certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    ASSERT_NE(certificate, nullptr) << pem->toStdString();
    EXPECT_EQ(X509_check_ca(certificate), 1);
    char commonName[128] = {};
    X509_NAME_get_text_by_NID(X509_get_subject_name(certificate), NID_commonName, commonName,
                              sizeof commonName);
    EXPECT_STREQ(commonName, "Norvane Filtering Certificate");
    X509_free(certificate);
}

TEST_F(FilterExtensionPeerTest, RelaxedPolicyAnswersFollowItsSettings)
{
    struct Case
    {
        const char* name;
        bool allow;
        QString text;
        QString passcode;
        bool enable;
        QString sentPasscode;
        bool allowed;
        QString answerText;
    };
    const Case cases[] = {
        {"granted", true, "", "", true, "", true, ""},
        {"granted with a text", true, "Enjoy", "", true, "", true, "Enjoy"},
        {"refused with a text", false, "Ask your administrator", "", true, "", false,
         "Ask your administrator"},
        {"refused without a text", false, "", "", true, "", false, ""},
        {"right passcode", true, "", "1234", true, "1234", true, ""},
        {"wrong passcode", true, "", "1234", true, "12345", false, "Incorrect passcode"},
        {"no passcode", true, "", "1234", true, "", false, "Incorrect passcode"},
        {"right passcode, refused", false, "Not today", "1234", true, "1234", false, "Not today"},
        {"giving it up", true, "Enjoy", "", false, "", false, "Relaxed policy ended"},
    };
    ASSERT_TRUE(peer.start());
    AppSideConnection app(QLatin1String(FilterExtensionPeer::serviceName));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(peer.setRelaxedPolicy(c.allow, c.text, c.passcode));
        RelaxedPolicyMessage request;
        request.enable = c.enable;
        request.messageOrPasscode = c.sentPasscode;
        app.send(request);
        const auto answer = app.take(IpcMessageId::relaxedPolicy);
        ASSERT_TRUE(answer && answer->message);
        const auto& message = static_cast<const RelaxedPolicyMessage&>(*answer->message);
        EXPECT_EQ(message.allowed, c.allowed);
        EXPECT_EQ(message.enable, c.enable);
        EXPECT_EQ(message.messageOrPasscode, c.answerText);
    }
}

TEST_F(FilterExtensionPeerTest, ASyncRequestIsAnsweredWithAFinishedSync)
{
    ASSERT_TRUE(peer.start());
    AppSideConnection app(QLatin1String(FilterExtensionPeer::serviceName));
    app.send(SyncMessage());
    const auto answer = app.take(IpcMessageId::sync);
    ASSERT_TRUE(answer && answer->message);
    EXPECT_EQ(answer->payload, (IpcDictionary{{QStringLiteral("isSyncSuccessfull"), "1"}}));
}

TEST_F(FilterExtensionPeerTest, RecordsEveryDeliveryAndDropsWhatTheFactoryRefuses)
{
    ASSERT_TRUE(peer.start());
    AppSideConnection app(QLatin1String(FilterExtensionPeer::serviceName));
    DisableMessage disable;
    disable.bundlePath = QStringLiteral("/Applications/Norvane.app");
    disable.guiProcessPid = 4242;
    app.send(disable);
    app.send(InstallRootCertFinished());
    EXPECT_EQ(app.sendWithReply(UpdateMessage()), std::optional<bool>(true));
    // A copy request without a file has nowhere to go: refused, and the reply says so.
    EXPECT_EQ(app.sendWithReply(CopyLogMessage()), std::optional<bool>(false));
    app.sendRaw({XpcValue::fromInt16(12), XpcValue::fromTextDictionary({})});
    app.sendRaw({XpcValue::fromInt16(2),
                 XpcValue::fromEntries(
                     {{XpcValue::fromText(QStringLiteral("isSyncSuccessfull")), XpcValue::fromInt32(1)}})});
    const TestPipe pipe;
    ExportCertificateMessage exportCertificate;
    exportCertificate.handle = std::make_shared<const FileHandle>(pipe.writeEnd.duplicate());
    app.send(exportCertificate);

    const auto received = peer.waitForReceived(7);
    ASSERT_TRUE(received);
    ASSERT_EQ(received->size(), 7);
    struct Expected
    {
        int id;
        const char* name;
        bool accepted;
        bool file;
        QJsonObject payload;
    };
    const Expected expected[] = {
        {5, "disable", true, false, {{"bundlePath", "/Applications/Norvane.app"}, {"guiProcessPid", "4242"}}},
        {7, "installRootCertFinished", true, false, {}},
        {8, "update", true, false, {}},
        {1, "copyLog", false, false, {{"type", "goLog"}}},
        {12, "", false, false, {}},
        {2, "", false, false, {}},
        {9, "exportCertificate", true, true, {}},
    };
    for (qsizetype i = 0; i < received->size(); ++i) {
        SCOPED_TRACE(i);
        const QJsonObject record = received->at(i).toObject();
        EXPECT_EQ(record.value(QStringLiteral("id")).toInt(), expected[i].id);
        EXPECT_EQ(record.value(QStringLiteral("name")).toString(), QLatin1String(expected[i].name));
        EXPECT_EQ(record.value(QStringLiteral("accepted")).toBool(), expected[i].accepted);
        EXPECT_EQ(record.value(QStringLiteral("file")).toBool(), expected[i].file);
        EXPECT_EQ(record.value(QStringLiteral("payload")).toObject(), expected[i].payload);
        EXPECT_EQ(record.value(QStringLiteral("pid")).toInteger(), qint64(::getpid()));
        EXPECT_EQ(record.contains(QStringLiteral("rejection")), !expected[i].accepted);
    }
    EXPECT_EQ(peer.received(true).size(), 7);
    EXPECT_TRUE(peer.received().isEmpty());
}

TEST_F(FilterExtensionPeerTest, SigtermEndsItWithStatusZeroAndRemovesItsSockets)
{
    ASSERT_TRUE(peer.start());
    AppSideConnection app(QLatin1String(FilterExtensionPeer::serviceName));
    ASSERT_EQ(app.registerWithPeer(), std::optional<bool>(true));
    ASSERT_TRUE(QFile::exists(FilterExtensionPeer::serviceSocketPath()));
    ASSERT_TRUE(QFile::exists(FilterExtensionPeer::controlSocketPath()));

    EXPECT_EQ(peer.stop(), std::optional<int>(0));
    EXPECT_FALSE(QFile::exists(FilterExtensionPeer::serviceSocketPath()));
    EXPECT_FALSE(QFile::exists(FilterExtensionPeer::controlSocketPath()));
    EXPECT_TRUE(app.waitForInterruption());
}

TEST_F(FilterExtensionPeerTest, ASecondInstanceLeavesTheServiceToTheFirst)
{
    ASSERT_TRUE(peer.start());
    FilterExtensionPeer second;
    EXPECT_FALSE(second.start());
    EXPECT_EQ(second.stop(), std::optional<int>(1));
    EXPECT_TRUE(peer.ping());
    AppSideConnection app(QLatin1String(FilterExtensionPeer::serviceName));
    EXPECT_EQ(app.registerWithPeer(), std::optional<bool>(true));
}
