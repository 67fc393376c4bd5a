// The keychain and trust-settings stand-ins against a real NSS database in the test's HOME,
// each outcome checked from outside with certutil.
#include "platform/Diagnostics.h"
#include "platform/Keychain.h"
#include "platform/TrustSettings.h"

#include "NssDatabaseTool.h"
#include "TestCertificates.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

namespace {
const QString label = QStringLiteral("Norvane Filtering Certificate");

QSslCertificate certificate(int keyIndex, const QString& commonName = label)
{
    return QSslCertificate(TestCertificates::pem(keyIndex, commonName), QSsl::Pem);
}

class KeychainTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Cases share the process when run by hand: each starts without ~/.pki.
        QDir(QFileInfo(NssDatabaseTool::directory()).absolutePath()).removeRecursively();
        Diagnostics::setSink([this](const QString& line) {
            std::lock_guard lock(m_mutex);
            m_reports << line;
        });
    }
    void TearDown() override { Diagnostics::setSink(nullptr); }
    void clearReports()
    {
        std::lock_guard lock(m_mutex);
        m_reports.clear();
    }
    QStringList reports()
    {
        std::lock_guard lock(m_mutex);
        return m_reports;
    }

private:
    std::mutex m_mutex;
    QStringList m_reports;
};
} // namespace

TEST_F(KeychainTest, AMissingDatabaseIsCreatedPrivateAndWithoutAPassword)
{
    ASSERT_FALSE(QFileInfo::exists(NssDatabaseTool::directory()));
    EXPECT_EQ(Keychain::copyCertificate(label, nullptr), SecurityStatus::itemNotFound);

    for (const char* file : {"cert9.db", "key4.db", "pkcs11.txt"})
        EXPECT_TRUE(QFileInfo::exists(NssDatabaseTool::directory() + QLatin1Char('/') + QLatin1String(file))) << file;
    for (const QString& folder : {QFileInfo(NssDatabaseTool::directory()).absolutePath(), NssDatabaseTool::directory()})
        EXPECT_EQ(QFileInfo(folder).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
                  QFileDevice::Permissions())
            << folder.toStdString();
    // Set up like certutil -N --empty-password: NSS tools change trust without asking for a password.
    const QSslCertificate stored = certificate(1);
    ASSERT_EQ(Keychain::addCertificate(stored, label), SecurityStatus::success);
    QString output;
    EXPECT_EQ(NssDatabaseTool::run({QStringLiteral("-M"), QStringLiteral("-n"), label, QStringLiteral("-t"),
                                    QStringLiteral("C,,")},
                                   &output),
              0)
        << output.toStdString();
    EXPECT_EQ(NssDatabaseTool::list()->value(label), QStringLiteral("C,,"));
    EXPECT_TRUE(reports().isEmpty()) << reports().join(QLatin1Char('\n')).toStdString();
}

TEST_F(KeychainTest, ItemsAreFoundAddedAndDeletedByLabel)
{
    const QSslCertificate first = certificate(1);
    QSslCertificate found;
    EXPECT_EQ(Keychain::copyCertificate(label, &found), SecurityStatus::itemNotFound);
    EXPECT_TRUE(found.isNull());
    EXPECT_EQ(Keychain::deleteCertificates(label), SecurityStatus::itemNotFound);

    ASSERT_EQ(Keychain::addCertificate(first, label), SecurityStatus::success);
    EXPECT_EQ(NssDatabaseTool::certificates(label), QList<QByteArray>{first.toDer()});
    // Added, not yet trusted for anything.
    EXPECT_EQ(NssDatabaseTool::list()->value(label), QStringLiteral(",,"));
    ASSERT_EQ(Keychain::copyCertificate(label, &found), SecurityStatus::success);
    EXPECT_EQ(found, first);
    EXPECT_EQ(Keychain::copyCertificate(QStringLiteral("Another label"), &found), SecurityStatus::itemNotFound);

    // The same certificate again, under any label, is a duplicate and changes nothing.
    EXPECT_EQ(Keychain::addCertificate(first, label), SecurityStatus::duplicateItem);
    EXPECT_EQ(Keychain::addCertificate(first, QStringLiteral("Another label")), SecurityStatus::duplicateItem);
    EXPECT_EQ(NssDatabaseTool::list(), (QMap<QString, QString>{{label, QStringLiteral(",,")}}));

    // Every item with the label goes (two certificates of one subject share their NSS
    // nickname); another item under its own label stays.
    ASSERT_EQ(Keychain::addCertificate(certificate(3), label), SecurityStatus::success);
    ASSERT_EQ(NssDatabaseTool::certificates(label).size(), 2);
    const QSslCertificate other = certificate(2, QStringLiteral("Other CA"));
    ASSERT_EQ(Keychain::addCertificate(other, QStringLiteral("Other CA")), SecurityStatus::success);
    EXPECT_EQ(Keychain::deleteCertificates(label), SecurityStatus::success);
    EXPECT_EQ(NssDatabaseTool::list(), (QMap<QString, QString>{{QStringLiteral("Other CA"), QStringLiteral(",,")}}));
    EXPECT_EQ(Keychain::deleteCertificates(label), SecurityStatus::itemNotFound);
    EXPECT_EQ(Keychain::addCertificate(QSslCertificate(), label), SecurityStatus::param);
}

TEST_F(KeychainTest, TrustWithoutSettingsMakesAStoredCertificateARootForEveryUse)
{
    const QSslCertificate root = certificate(1);
    EXPECT_EQ(TrustSettings::setTrustSettings(root, TrustSettings::user), SecurityStatus::itemNotFound);
    ASSERT_EQ(Keychain::addCertificate(root, label), SecurityStatus::success);

    struct Case
    {
        std::int32_t domain;
        OSStatus status;
    };
    for (const Case& c : {Case{TrustSettings::admin, SecurityStatus::unimplemented},
                          Case{TrustSettings::system, SecurityStatus::unimplemented}, Case{7, SecurityStatus::param},
                          Case{-1, SecurityStatus::param}}) {
        EXPECT_EQ(TrustSettings::setTrustSettings(root, c.domain), c.status) << c.domain;
        EXPECT_EQ(NssDatabaseTool::list()->value(label), QStringLiteral(",,")) << c.domain;
    }
    EXPECT_EQ(TrustSettings::setTrustSettings(root, TrustSettings::user), SecurityStatus::success);
    EXPECT_EQ(NssDatabaseTool::list()->value(label), QStringLiteral("CT,C,C"));
    EXPECT_EQ(TrustSettings::setTrustSettings(QSslCertificate(), TrustSettings::user), SecurityStatus::param);
}

TEST_F(KeychainTest, APasswordProtectedDatabaseTakesItemsButNoTrustChange)
{
    const QString passwordFile = TestEnvironment::root() + QStringLiteral("/nss-password");
    TestEnvironment::writeFile(passwordFile, "user's own secret\n");
    QDir().mkpath(NssDatabaseTool::directory());
    ASSERT_EQ(NssDatabaseTool::run({QStringLiteral("-N"), QStringLiteral("-f"), passwordFile}), 0);

    const QSslCertificate root = certificate(1);
    ASSERT_EQ(Keychain::addCertificate(root, label), SecurityStatus::success);
    EXPECT_EQ(TrustSettings::setTrustSettings(root, TrustSettings::user), SecurityStatus::interactionNotAllowed);
    EXPECT_EQ(NssDatabaseTool::list()->value(label), QStringLiteral(",,"));
    ASSERT_EQ(reports().size(), 1);
    EXPECT_TRUE(reports().first().contains(QStringLiteral("SEC_ERROR_TOKEN_NOT_LOGGED_IN"))) << reports().first().toStdString();
}

TEST_F(KeychainTest, ACorruptOrUnusableDatabaseFailsEveryCallAndIsLeftAlone)
{
    struct Case
    {
        const char* what;
        std::function<void()> spoil;
        QString keptFile;
        OSStatus status;
    };
    const QString database = NssDatabaseTool::directory();
    const QString certFile = database + QStringLiteral("/cert9.db");
    const QList<Case> cases{
        {"garbage certificate database",
         [&] { TestEnvironment::writeFile(certFile, QByteArray(4096, '\x5a') + "not an sqlite file"); }, certFile,
         SecurityStatus::invalidKeychain},
        {"a file where the folder belongs",
         [&] {
             QDir(database).removeRecursively();
             TestEnvironment::writeFile(database, "plain file");
         },
         database, SecurityStatus::notAvailable},
    };
    const QSslCertificate root = certificate(1);
    for (const Case& c : cases) {
        c.spoil();
        QFile kept(c.keptFile);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly)) << c.what;
        const QByteArray before = kept.readAll();
        kept.close();

        QSslCertificate found;
        EXPECT_EQ(Keychain::copyCertificate(label, &found), c.status) << c.what;
        EXPECT_EQ(Keychain::addCertificate(root, label), c.status) << c.what;
        EXPECT_EQ(Keychain::deleteCertificates(label), c.status) << c.what;
        EXPECT_EQ(TrustSettings::setTrustSettings(root, TrustSettings::user), c.status) << c.what;
        EXPECT_TRUE(found.isNull());
        EXPECT_EQ(reports().size(), 4) << c.what;
        EXPECT_TRUE(reports().value(0).contains(database)) << reports().value(0).toStdString();

        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), before) << c.what;
        kept.close();
        clearReports();
    }
    // Once the database is sound again, the same process uses it.
    QFile::remove(database);
    EXPECT_EQ(Keychain::addCertificate(root, label), SecurityStatus::success);
    EXPECT_EQ(NssDatabaseTool::certificates(label), QList<QByteArray>{root.toDer()});
}

TEST_F(KeychainTest, CallsFromSeveralThreadsAtOnceEachSeeAWholeDatabase)
{
    constexpr int threads = 4;
    constexpr int rounds = 5;
    std::vector<QSslCertificate> roots;
    for (int i = 0; i < threads; ++i)
        roots.push_back(certificate(10 + i, QStringLiteral("Thread CA %1").arg(i)));
    std::vector<std::thread> workers;
    std::vector<int> failures(threads, 0);
    for (int i = 0; i < threads; ++i) {
        workers.emplace_back([&, i] {
            const QString name = QStringLiteral("Thread CA %1").arg(i);
            for (int round = 0; round < rounds; ++round) {
                QSslCertificate found;
                failures[i] += Keychain::addCertificate(roots[i], name) != SecurityStatus::success;
                failures[i] += TrustSettings::setTrustSettings(roots[i], TrustSettings::user) != SecurityStatus::success;
                failures[i] += Keychain::copyCertificate(name, &found) != SecurityStatus::success || found != roots[i];
                failures[i] += Keychain::deleteCertificates(name) != SecurityStatus::success;
            }
        });
    }
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(failures, std::vector<int>(threads, 0));
    EXPECT_EQ(NssDatabaseTool::list(), (QMap<QString, QString>{}));
    EXPECT_TRUE(reports().isEmpty()) << reports().join(QLatin1Char('\n')).toStdString();
}
