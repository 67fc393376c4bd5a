#include "control/CopyLogMessage.h"
#include "control/ExportCertificateMessage.h"
#include "control/InstallRootCertFailedMessage.h"
#include "control/InstallRootCertFinished.h"
#include "control/LogType.h"

#include "IpcTestPrinters.h"
#include "TestPipe.h"

#include <QHash>

#include <gtest/gtest.h>
#include <unistd.h>
#include <unordered_map>

namespace {
// Appears in every rejected payload; no rejection reason may repeat it.
const QString kSecret = QStringLiteral("s3cret-Value");

SharedFileHandle devNull()
{
    return std::make_shared<const FileHandle>(FileHandle::openForWriting(QStringLiteral("/dev/null")));
}

enum class Handle
{
    none,
    open,
    invalid,
};

SharedFileHandle makeHandle(Handle kind)
{
    switch (kind) {
    case Handle::none:
        return nullptr;
    case Handle::open:
        return devNull();
    case Handle::invalid:
        return std::make_shared<const FileHandle>();
    }
    return nullptr;
}

struct FactoryCase
{
    const char* name;
    int id;
    IpcDictionary payload;
    Handle handle;
    bool accepted;
};
} // namespace

TEST(IpcMessageFactory, AcceptsOrRejectsEachDelivery)
{
    const QString type = QStringLiteral("type");
    const std::vector<FactoryCase> cases = {
        {"identifier 10", 10, {{"k", kSecret}}, Handle::none, false},
        {"identifier -1", -1, {}, Handle::none, false},
        {"identifier 32767", 32767, {}, Handle::none, false},
        {"identifier -32768", -32768, {}, Handle::open, false},
        {"copy log goLog", 1, {{type, "goLog"}}, Handle::open, true},
        {"copy log serviceLog", 1, {{type, "serviceLog"}}, Handle::open, true},
        {"copy log guiLog", 1, {{type, "guiLog"}}, Handle::open, true},
        {"copy log with other keys", 1, {{type, "guiLog"}, {"other", kSecret}}, Handle::open, true},
        {"copy log lower case", 1, {{type, "servicelog"}, {"x", kSecret}}, Handle::open, false},
        {"copy log unknown type", 1, {{type, kSecret}}, Handle::open, false},
        {"copy log empty type", 1, {{type, ""}}, Handle::open, false},
        {"copy log padded type", 1, {{type, " goLog"}}, Handle::open, false},
        {"copy log no type", 1, {{"Type", "goLog"}, {"x", kSecret}}, Handle::open, false},
        {"copy log no handle", 1, {{type, "goLog"}, {"x", kSecret}}, Handle::none, false},
        {"copy log closed handle", 1, {{type, "goLog"}}, Handle::invalid, false},
        {"export certificate", 9, {}, Handle::open, true},
        {"export certificate no handle", 9, {{"x", kSecret}}, Handle::none, false},
        {"export certificate closed handle", 9, {}, Handle::invalid, false},
        {"install root cert failed with handle", 6, {}, Handle::open, true},
        {"install root cert failed without handle", 6, {{"x", kSecret}}, Handle::none, true},
        {"install root cert finished with payload and handle", 7, {{"x", kSecret}}, Handle::open, true},
        {"url blocked, empty", 0, {}, Handle::none, true},
        {"sync, handle ignored", 2, {}, Handle::open, true},
        {"user data, empty", 3, {}, Handle::none, true},
        {"relaxed policy, empty", 4, {}, Handle::none, true},
        {"disable, junk pid", 5, {{"guiProcessPid", kSecret}}, Handle::none, true},
        {"update, payload", 8, {{"x", kSecret}}, Handle::none, true},
    };
    for (const FactoryCase& row : cases) {
        SCOPED_TRACE(row.name);
        QString rejection = QStringLiteral("untouched");
        const auto message =
            IpcMessage::create(static_cast<qint16>(row.id), row.payload, makeHandle(row.handle), &rejection);
        if (row.accepted) {
            ASSERT_NE(message, nullptr) << rejection.toStdString();
            EXPECT_EQ(rawValue(message->id()), row.id);
            continue;
        }
        EXPECT_EQ(message, nullptr);
        EXPECT_NE(rejection, QStringLiteral("untouched"));
        EXPECT_FALSE(rejection.isEmpty());
        EXPECT_FALSE(rejection.contains(kSecret, Qt::CaseInsensitive)) << rejection.toStdString();
        // Without somewhere to put the reason, the answer is the same.
        EXPECT_EQ(IpcMessage::create(static_cast<qint16>(row.id), row.payload, makeHandle(row.handle)),
                  nullptr);
    }
}

TEST(IpcMessageFactory, MessagesHoldTheirFileAndDropOthers)
{
    {
        TestPipe pipe;
        auto handle = std::make_shared<const FileHandle>(std::move(pipe.writeEnd));
        auto message = IpcMessage::create(1, {{QStringLiteral("type"), QStringLiteral("guiLog")}}, handle);
        ASSERT_NE(message, nullptr);
        handle.reset();
        EXPECT_FALSE(pipe.writersClosed()); // the message keeps it open
        ASSERT_TRUE(message->fileHandle()->write("log text"));
        message.reset();
        char buffer[16] = {};
        EXPECT_EQ(::read(pipe.readEnd.fileDescriptor(), buffer, sizeof buffer), 8);
        EXPECT_TRUE(pipe.writersClosed());
    }
    for (int id : {0, 2, 3, 4, 5, 7, 8, 10}) {
        SCOPED_TRACE(id);
        TestPipe pipe;
        auto message = IpcMessage::create(static_cast<qint16>(id), {},
                                          std::make_shared<const FileHandle>(std::move(pipe.writeEnd)));
        if (message) {
            EXPECT_EQ(message->fileHandle(), nullptr);
        }
        // A file the message has no use for is not kept open.
        EXPECT_TRUE(pipe.writersClosed());
    }
}

TEST(IpcMessageId, RawValuesAndNames)
{
    int known = 0;
    for (int raw = -40000; raw <= 40000; ++raw) {
        const auto id = ipcMessageIdFromRawValue(raw);
        if (!id)
            continue;
        ++known;
        EXPECT_EQ(rawValue(*id), raw);
    }
    EXPECT_EQ(known, 10);
    const std::vector<std::pair<IpcMessageId, const char*>> names = {
        {IpcMessageId::urlBlocked, "urlBlocked"},
        {IpcMessageId::copyLog, "copyLog"},
        {IpcMessageId::sync, "sync"},
        {IpcMessageId::userDataSync, "userDataSync"},
        {IpcMessageId::relaxedPolicy, "relaxedPolicy"},
        {IpcMessageId::disable, "disable"},
        {IpcMessageId::installRootCertFailed, "installRootCertFailed"},
        {IpcMessageId::installRootCertFinished, "installRootCertFinished"},
        {IpcMessageId::update, "update"},
        {IpcMessageId::exportCertificate, "exportCertificate"},
    };
    for (std::size_t raw = 0; raw < names.size(); ++raw) {
        EXPECT_EQ(rawValue(names[raw].first), static_cast<qint16>(raw));
        EXPECT_EQ(ipcMessageIdName(names[raw].first), QLatin1String(names[raw].second));
    }
}

TEST(IpcMessageId, KeysHashTables)
{
    QHash<IpcMessageId, int> qtTable;
    std::unordered_map<IpcMessageId, int> stdTable;
    for (int raw = 0; raw <= 9; ++raw) {
        qtTable.insert(*ipcMessageIdFromRawValue(raw), raw);
        stdTable[*ipcMessageIdFromRawValue(raw)] = raw;
    }
    qtTable.insert(IpcMessageId::relaxedPolicy, 40);
    EXPECT_EQ(qtTable.size(), 10);
    EXPECT_EQ(qtTable.value(IpcMessageId::relaxedPolicy), 40);
    EXPECT_EQ(qtTable.value(IpcMessageId::exportCertificate), 9);
    EXPECT_EQ(stdTable.size(), 10u);
    EXPECT_EQ(stdTable.at(IpcMessageId::disable), 5);
}

TEST(LogType, RawValuesAreExact)
{
    EXPECT_EQ(rawValue(LogType::goLog), QStringLiteral("goLog"));
    EXPECT_EQ(rawValue(LogType::serviceLog), QStringLiteral("serviceLog"));
    EXPECT_EQ(rawValue(LogType::guiLog), QStringLiteral("guiLog"));
    for (LogType type : {LogType::goLog, LogType::serviceLog, LogType::guiLog})
        EXPECT_EQ(logTypeFromRawValue(rawValue(type)), type);
    for (const char* other : {"", "golog", "GoLog", "goLog ", "gui", "serviceLogs"})
        EXPECT_FALSE(logTypeFromRawValue(QString::fromLatin1(other)).has_value()) << other;
}
