#include "platform/UserDefaults.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {
QString storePath()
{
    return TestEnvironment::root() + QStringLiteral("/defaults/store.json");
}
} // namespace

TEST(UserDefaults, TypedValuesSurviveAReload)
{
    {
        UserDefaults defaults(storePath());
        defaults.setString(QStringLiteral("authToken"), QStringLiteral("tok"));
        defaults.setData(QStringLiteral("ServerConfiguaration"), QByteArray("{\"a\":1}\0x", 9));
        defaults.setBool(QStringLiteral("isLastSyncFailed"), true);
        defaults.setInteger(QStringLiteral("bypassesUsed"), 9007199254740993LL); // beyond a double's precision
    }
    UserDefaults reread(storePath());
    EXPECT_EQ(reread.string(QStringLiteral("authToken")), QStringLiteral("tok"));
    EXPECT_EQ(reread.data(QStringLiteral("ServerConfiguaration")), QByteArray("{\"a\":1}\0x", 9));
    EXPECT_EQ(reread.boolean(QStringLiteral("isLastSyncFailed")), true);
    EXPECT_EQ(reread.integer(QStringLiteral("bypassesUsed")), 9007199254740993LL);
    // A value of another type reads as absent for the typed getters.
    EXPECT_FALSE(reread.data(QStringLiteral("authToken")).has_value());
    EXPECT_FALSE(reread.string(QStringLiteral("ServerConfiguaration")).has_value());
    EXPECT_FALSE(reread.boolean(QStringLiteral("bypassesUsed")).has_value());
    reread.remove(QStringLiteral("authToken"));
    EXPECT_FALSE(UserDefaults(storePath()).contains(QStringLiteral("authToken")));
}

TEST(UserDefaults, FileIsPrivateToTheUser)
{
    UserDefaults defaults(storePath());
    defaults.setString(QStringLiteral("k"), QStringLiteral("v"));
    EXPECT_EQ(QFileInfo(storePath()).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                                       QFileDevice::WriteGroup | QFileDevice::WriteOther),
              QFileDevice::Permissions());
}

TEST(UserDefaults, CorruptFileIsMovedAsideAndStoreStartsEmpty)
{
    for (const QByteArray& garbage : {QByteArray("{not json"), QByteArray("[1,2,3]"), QByteArray("\xff\xfe\x00", 3)}) {
        QDir(QFileInfo(storePath()).absolutePath()).removeRecursively();
        TestEnvironment::writeFile(storePath(), garbage);
        UserDefaults defaults(storePath());
        EXPECT_FALSE(defaults.contains(QStringLiteral("anything")));
        const QStringList aside =
            QDir(QFileInfo(storePath()).absolutePath()).entryList({QStringLiteral("store.json.corrupt-*")});
        ASSERT_EQ(aside.size(), 1) << garbage.toStdString();
        // The damaged content is kept, not lost.
        QFile kept(QFileInfo(storePath()).absolutePath() + QLatin1Char('/') + aside.first());
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), garbage);
        defaults.setBool(QStringLiteral("fresh"), true);
        EXPECT_EQ(UserDefaults(storePath()).boolean(QStringLiteral("fresh")), true);
    }
}
