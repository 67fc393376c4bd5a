#include "platform/Paths.h"
#include "platform/SoftwareUpdater.h"
#include "platform/UserDefaults.h"

#include "ManagementServerPeer.h"
#include "TestEnvironment.h"
#include "UpdateTestDoubles.h"
#include "UpdateTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QSslCertificate>
#include <QTest>

#include <gtest/gtest.h>

using UpdateTest::Entry;
using UpdateTest::Format;

namespace {

constexpr int timeoutMs = 30'000;

class SoftwareUpdaterTest : public ::testing::Test
{
protected:
    ManagementServerPeer peer;
    UpdateTest::KeyPair key = UpdateTest::makeKeyPair();
    QString installed = TestEnvironment::root() + QStringLiteral("/Applications/Norvane.app");
    QString work = TestEnvironment::root() + QStringLiteral("/work");
    QNetworkAccessManager manager;
    UpdateTest::RecordingUserDriver driver;
    UpdateTest::RecordingDelegate delegate;
    QList<QString> relaunched;
    std::unique_ptr<SoftwareUpdater> updater;

    void SetUp() override
    {
        ASSERT_TRUE(peer.isRunning());
        QDir().mkpath(work);
        UpdateTest::writeBundle(installed, QStringLiteral("1.4.2"), key.publicBase64());
        delegate.feedURL = peer.url(ManagementServerPeer::updateFeedPath() + QStringLiteral("?acid=a&v=1.4.2&os=13"));
    }

    UpdateNetwork network() const
    {
        return UpdateNetwork(const_cast<QNetworkAccessManager*>(&manager), QSslCertificate::fromPath(peer.certificatePath()));
    }

    // Automatic checks off unless the user is to be asked, as the program sets it up.
    void makeUpdater(bool askPermission = false)
    {
        const Bundle bundle(installed);
        updater = std::make_unique<SoftwareUpdater>(bundle, bundle, &driver, &delegate, network());
        if (!askPermission)
            updater->setAutomaticallyChecksForUpdates(false);
        updater->setRelauncher([this](const Bundle& application) {
            relaunched << Bundle(application.bundlePath()).string(QStringLiteral("CFBundleVersion")).value_or(QString());
            return true;
        });
        UpdateError error;
        ASSERT_TRUE(updater->startUpdater(&error)) << error.description.toStdString();
    }

    // A new bundle of the version, packed as the entries of its folder plus extra ones.
    QString makeArchive(const QString& version, Format format = Format::tarXz, const QList<Entry>& extra = {},
                        const QString& bundleVersion = {})
    {
        const QString source = work + QStringLiteral("/src-") + version + QStringLiteral("/Norvane.app");
        QDir(source).removeRecursively();
        UpdateTest::writeBundle(source, bundleVersion.isEmpty() ? version : bundleVersion, key.publicBase64());
        const QString suffix = format == Format::zip ? QStringLiteral(".zip")
                                                     : (format == Format::tarGz ? QStringLiteral(".tar.gz")
                                                                                : QStringLiteral(".tar.xz"));
        const QString archive = work + QStringLiteral("/Norvane-") + version + suffix;
        UpdateTest::writeArchive(archive, UpdateTest::entriesOf(source, QStringLiteral("Norvane.app")) + extra, format);
        return archive;
    }

    // Serves the archive and a feed with one item for it.
    void publish(const QString& version, const QString& archive, const QString& signature, qint64 length = -1,
                 qint64 truncateAt = -1)
    {
        const QString name = QFileInfo(archive).fileName();
        ASSERT_TRUE(peer.serveUpdateFile(name, archive, truncateAt));
        QJsonObject enclosure{
            {QStringLiteral("url"), peer.url(ManagementServerPeer::updateFilePath(name))},
            {QStringLiteral("length"), QString::number(length >= 0 ? length : QFileInfo(archive).size())},
            {QStringLiteral("type"), QStringLiteral("application/octet-stream")},
            {QStringLiteral("channel"), QStringLiteral("Stable")},
        };
        if (!signature.isEmpty())
            enclosure.insert(QStringLiteral("sparkle:edSignature"), signature);
        const QJsonObject item{{QStringLiteral("title"), QStringLiteral("Version ") + version},
                               {QStringLiteral("version"), version},
                               {QStringLiteral("shortVersion"), version},
                               {QStringLiteral("description"), QStringLiteral("<p>Better.</p>")},
                               {QStringLiteral("enclosure"), enclosure}};
        ASSERT_TRUE(peer.setUpdateFeed(QJsonArray{item}));
    }

    void publishSigned(const QString& version, const QString& archive)
    {
        publish(version, archive, UpdateTest::signFile(key, archive));
    }

    bool waitForSessionEnd()
    {
        return QTest::qWaitFor([&] { return !updater->sessionInProgress(); }, timeoutMs);
    }

    QStringList workFolders() const
    {
        return QDir(Paths::cacheDirectory() + QStringLiteral("/Updates")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    }
};

} // namespace

TEST_F(SoftwareUpdaterTest, InstallsASignedUpdateAndRelaunches)
{
    const QString archive = makeArchive(QStringLiteral("1.10.0"));
    publishSigned(QStringLiteral("1.10.0"), archive);
    const auto expected = UpdateTest::snapshot(work + QStringLiteral("/src-1.10.0/Norvane.app"));
    makeUpdater();

    updater->checkForUpdates();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !relaunched.isEmpty(); }, timeoutMs)) << driver.calls.join(' ').toStdString();

    EXPECT_EQ(relaunched, QStringList{QStringLiteral("1.10.0")});
    EXPECT_EQ(UpdateTest::snapshot(installed), expected);
    EXPECT_EQ(driver.calls, (QStringList{QStringLiteral("userInitiatedCheck"), QStringLiteral("updateFound"),
                                         QStringLiteral("downloadStarted"), QStringLiteral("expectedLength"),
                                         QStringLiteral("extracting"), QStringLiteral("readyToInstall"),
                                         QStringLiteral("installing")}));
    EXPECT_EQ(delegate.events, (QStringList{QStringLiteral("found"), QStringLiteral("willRelaunch")}));
    EXPECT_EQ(driver.expectedLength, quint64(QFileInfo(archive).size()));
    EXPECT_EQ(driver.received, driver.expectedLength);
    ASSERT_FALSE(driver.extraction.isEmpty());
    EXPECT_EQ(driver.extraction.last(), 1.0);
    EXPECT_TRUE(driver.offeredState.userInitiated);
    EXPECT_EQ(driver.offered->displayVersionString, QStringLiteral("1.10.0"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return workFolders().isEmpty(); }, timeoutMs));
    EXPECT_EQ(QDir(QFileInfo(installed).absolutePath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("Norvane.app")});

    // The feed was asked for with the query as given, over the session's TLS trust.
    const auto requests = peer.requests(ManagementServerPeer::updateFeedPath());
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests.first().query, QStringLiteral("acid=a&v=1.4.2&os=13"));
    ASSERT_TRUE(updater->lastUpdateCheckDate());
    EXPECT_LE(updater->lastUpdateCheckDate()->secsTo(QDateTime::currentDateTimeUtc()), 60);
}

TEST_F(SoftwareUpdaterTest, InstallsEachArchiveFormat)
{
    for (const auto& [format, version] : {std::pair{Format::tarGz, "1.5"}, std::pair{Format::zip, "1.6"}}) {
        const QString archive = makeArchive(QLatin1String(version), format);
        publishSigned(QLatin1String(version), archive);
        makeUpdater();
        updater->checkForUpdates();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !relaunched.isEmpty(); }, timeoutMs)) << version;
        EXPECT_EQ(relaunched.takeFirst(), QLatin1String(version));
        EXPECT_EQ(Bundle(installed).string(QStringLiteral("CFBundleVersion")), QLatin1String(version));
    }
}

TEST_F(SoftwareUpdaterTest, RefusesHostileUpdatesLeavingTheInstalledBundleUntouched)
{
    const UpdateTest::KeyPair other = UpdateTest::makeKeyPair();
    const QString outside = TestEnvironment::root() + QStringLiteral("/outside");
    QDir().mkpath(outside);
    struct Case
    {
        const char* name;
        int code;
        std::function<void()> arrange;
    };
    const QString v = QStringLiteral("1.5.0");
    const QList<Case> cases = {
        {"wrong signature", UpdateError::SignatureError,
         [&] {
             const QString archive = makeArchive(v);
             publish(v, archive, UpdateTest::signFile(key, makeArchive(QStringLiteral("9.9"))));
         }},
        {"signature by another key", UpdateError::SignatureError,
         [&] {
             const QString archive = makeArchive(v);
             publish(v, archive, UpdateTest::signFile(other, archive));
         }},
        {"no signature", UpdateError::SignatureError, [&] { publish(v, makeArchive(v), QString()); }},
        {"no key in Info.plist", UpdateError::NoPublicKeyError,
         [&] {
             UpdateTest::writeBundle(installed, QStringLiteral("1.4.2"), std::nullopt);
             publishSigned(v, makeArchive(v));
         }},
        {"truncated download", UpdateError::DownloadError,
         [&] {
             const QString archive = makeArchive(v);
             publish(v, archive, UpdateTest::signFile(key, archive), -1, QFileInfo(archive).size() / 2);
         }},
        {"feed announces more bytes", UpdateError::DownloadError,
         [&] {
             const QString archive = makeArchive(v);
             publish(v, archive, UpdateTest::signFile(key, archive), QFileInfo(archive).size() + 1);
         }},
        {"feed announces fewer bytes", UpdateError::DownloadError,
         [&] {
             const QString archive = makeArchive(v);
             publish(v, archive, UpdateTest::signFile(key, archive), QFileInfo(archive).size() - 1);
         }},
        {"dot-dot entry", UpdateError::UnarchivingError,
         [&] {
             publishSigned(v, makeArchive(v, Format::tarXz,
                                          {{QStringLiteral("Norvane.app/../../outside/evil"), Entry::Type::file, "x",
                                            {}, 0755}}));
         }},
        {"absolute entry", UpdateError::UnarchivingError,
         [&] {
             publishSigned(v, makeArchive(v, Format::tarGz, {{outside + QStringLiteral("/evil"), Entry::Type::file, "x", {}, 0755}}));
         }},
        {"link to outside", UpdateError::UnarchivingError,
         [&] {
             publishSigned(v, makeArchive(v, Format::zip,
                                          {{QStringLiteral("Norvane.app/Contents/Resources/out"), Entry::Type::symlink, {},
                                            outside, 0777}}));
         }},
        {"bundle version differs from the offer", UpdateError::ValidationError,
         [&] { publishSigned(v, makeArchive(v, Format::tarXz, {}, QStringLiteral("1.5.1"))); }},
        {"no bundle in the archive", UpdateError::ValidationError,
         [&] {
             const QString archive = work + QStringLiteral("/empty.tar.xz");
             UpdateTest::writeArchive(archive, {{QStringLiteral("readme.txt"), Entry::Type::file, "hi", {}, 0644}},
                                      Format::tarXz);
             publishSigned(v, archive);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UpdateTest::writeBundle(installed, QStringLiteral("1.4.2"), key.publicBase64());
        c.arrange();
        const auto before = UpdateTest::snapshot(installed);
        driver = {};
        delegate.events.clear();
        delegate.aborts.clear();
        makeUpdater();

        updater->checkForUpdates();
        ASSERT_TRUE(QTest::qWaitFor([&] { return driver.count(QStringLiteral("dismiss")) > 0; }, timeoutMs))
            << driver.calls.join(' ').toStdString();
        EXPECT_EQ(driver.count(QStringLiteral("error")), 1);
        EXPECT_EQ(driver.shownError.code, c.code) << driver.shownError.description.toStdString();
        EXPECT_FALSE(driver.shownError.description.isEmpty());
        ASSERT_EQ(delegate.aborts.size(), 1);
        EXPECT_EQ(delegate.aborts.first(), driver.shownError);
        EXPECT_FALSE(delegate.events.contains(QStringLiteral("willRelaunch")));
        EXPECT_FALSE(driver.calls.contains(QStringLiteral("readyToInstall")));
        EXPECT_TRUE(relaunched.isEmpty());
        EXPECT_EQ(UpdateTest::snapshot(installed), before);
        EXPECT_TRUE(QDir(outside).isEmpty());
        EXPECT_TRUE(QTest::qWaitFor([&] { return workFolders().isEmpty(); }, timeoutMs)) << workFolders().join(' ').toStdString();
        updater.reset();
    }
}

TEST_F(SoftwareUpdaterTest, NoNewerVersionIsTheNoUpdateError)
{
    struct Case
    {
        const char* name;
        const char* version;
    };
    for (const Case& c : {Case{"same version", "1.4.2"}, Case{"older", "1.4.1"}, Case{"same version with a leading zero", "1.4.02"}}) {
        SCOPED_TRACE(c.name);
        publishSigned(QLatin1String(c.version), makeArchive(QLatin1String(c.version)));
        driver = {};
        delegate.events.clear();
        makeUpdater();
        // In the background nothing is shown.
        updater->checkForUpdatesInBackground();
        ASSERT_TRUE(waitForSessionEnd());
        EXPECT_EQ(delegate.events, (QStringList{QStringLiteral("notFound"), QStringLiteral("abort 1001")}));
        EXPECT_TRUE(driver.calls.isEmpty()) << driver.calls.join(' ').toStdString();

        // Asked for, the user hears it and the session ends with the dismissal.
        delegate.events.clear();
        updater->checkForUpdates();
        ASSERT_TRUE(waitForSessionEnd());
        EXPECT_EQ(delegate.events, (QStringList{QStringLiteral("notFound"), QStringLiteral("abort 1001")}));
        EXPECT_EQ(driver.calls, (QStringList{QStringLiteral("userInitiatedCheck"), QStringLiteral("notFound"),
                                             QStringLiteral("dismiss")}));
        EXPECT_EQ(driver.shownError.code, int(UpdateError::NoUpdateError));
    }
    // Nothing offered by the delegate is no update either.
    delegate.choose = [](const Appcast&) { return std::nullopt; };
    delegate.events.clear();
    updater->checkForUpdatesInBackground();
    ASSERT_TRUE(waitForSessionEnd());
    EXPECT_EQ(delegate.events, (QStringList{QStringLiteral("notFound"), QStringLiteral("abort 1001")}));
}

TEST_F(SoftwareUpdaterTest, FeedFailuresAreErrorsNotCrashes)
{
    struct Case
    {
        const char* name;
        std::function<void()> arrange;
        int code;
    };
    const QList<Case> cases = {
        {"HTTP 500",
         [&] {
             ManagementServerPeer::Answer answer;
             answer.status = 500;
             answer.body = "oops";
             peer.script(ManagementServerPeer::updateFeedPath(), answer, true);
         },
         UpdateError::AppcastError},
        {"100 MiB feed", [&] { peer.setUpdateFeed({}, 100LL * 1024 * 1024); }, UpdateError::AppcastError},
        {"garbage", [&] {
             ManagementServerPeer::Answer answer;
             answer.body = "<rss><channel><item>";
             peer.script(ManagementServerPeer::updateFeedPath(), answer, true);
         },
         UpdateError::AppcastParseError},
        {"not https", [&] { delegate.feedURL.replace(QStringLiteral("https:"), QStringLiteral("http:")); },
         UpdateError::AppcastError},
        {"no feed address", [&] { delegate.feedURL.clear(); }, UpdateError::InvalidFeedURLError},
    };
    const auto before = UpdateTest::snapshot(installed);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString feed = delegate.feedURL;
        c.arrange();
        delegate.events.clear();
        driver = {};
        makeUpdater();
        updater->checkForUpdatesInBackground();
        ASSERT_TRUE(waitForSessionEnd());
        EXPECT_EQ(delegate.events, QStringList{QStringLiteral("abort %1").arg(c.code)});
        EXPECT_FALSE(delegate.aborts.last().description.isEmpty());
        EXPECT_TRUE(driver.calls.isEmpty()) << driver.calls.join(' ').toStdString();
        EXPECT_EQ(UpdateTest::snapshot(installed), before);
        delegate.feedURL = feed;
    }
}

TEST_F(SoftwareUpdaterTest, FeedNeedsTheSessionsTrustedRoots)
{
    publishSigned(QStringLiteral("1.5"), makeArchive(QStringLiteral("1.5")));
    const Bundle bundle(installed);
    updater = std::make_unique<SoftwareUpdater>(bundle, bundle, &driver, &delegate, UpdateNetwork(&manager, {}));
    ASSERT_TRUE(updater->startUpdater());
    updater->checkForUpdatesInBackground();
    ASSERT_TRUE(waitForSessionEnd());
    EXPECT_EQ(delegate.events, QStringList{QStringLiteral("abort %1").arg(int(UpdateError::AppcastError))});
}

TEST_F(SoftwareUpdaterTest, SkippedVersionsAreOfferedOnlyWhenAskedFor)
{
    publishSigned(QStringLiteral("1.5"), makeArchive(QStringLiteral("1.5")));
    driver.answerToUpdateFound = UpdateChoice::skip;
    makeUpdater();
    updater->checkForUpdatesInBackground();
    ASSERT_TRUE(waitForSessionEnd());
    EXPECT_EQ(driver.calls, (QStringList{QStringLiteral("updateFound"), QStringLiteral("dismiss")}));
    EXPECT_FALSE(driver.offeredState.userInitiated);

    driver.calls.clear();
    delegate.events.clear();
    updater->checkForUpdatesInBackground();
    ASSERT_TRUE(waitForSessionEnd());
    EXPECT_TRUE(driver.calls.isEmpty());
    EXPECT_EQ(delegate.events, (QStringList{QStringLiteral("notFound"), QStringLiteral("abort 1001")}));

    driver.answerToUpdateFound = UpdateChoice::dismiss;
    updater->checkForUpdates();
    ASSERT_TRUE(waitForSessionEnd());
    EXPECT_EQ(driver.calls, (QStringList{QStringLiteral("userInitiatedCheck"), QStringLiteral("updateFound"),
                                         QStringLiteral("dismiss")}));
    EXPECT_TRUE(relaunched.isEmpty());
}

TEST_F(SoftwareUpdaterTest, CancellingTheDownloadChangesNothing)
{
    // Big enough to be in flight when the first piece arrives.
    const QString archive = makeArchive(QStringLiteral("1.5"), Format::tarGz,
                                        {{QStringLiteral("Norvane.app/Contents/Resources/blob"), Entry::Type::file,
                                          QCryptographicHash::hash("seed", QCryptographicHash::Sha512).repeated(200'000),
                                          {}, 0644}});
    publishSigned(QStringLiteral("1.5"), archive);
    const auto before = UpdateTest::snapshot(installed);
    driver.cancelDownloadOnFirstData = true;
    makeUpdater();
    updater->checkForUpdates();
    ASSERT_TRUE(waitForSessionEnd());
    EXPECT_EQ(driver.calls.last(), QStringLiteral("dismiss"));
    EXPECT_FALSE(driver.calls.contains(QStringLiteral("readyToInstall")));
    EXPECT_FALSE(driver.calls.contains(QStringLiteral("error")));
    EXPECT_EQ(UpdateTest::snapshot(installed), before);
    EXPECT_TRUE(QTest::qWaitFor([&] { return workFolders().isEmpty(); }, timeoutMs));
}

TEST_F(SoftwareUpdaterTest, ReleaseNotesLinkIsFetchedWhenTheItemHasNoDescription)
{
    ManagementServerPeer::Answer notes;
    notes.body = "<h1>What is new</h1>";
    notes.contentType = QStringLiteral("text/html");
    peer.script(QStringLiteral("/notes/1.5.html"), notes);
    const QString archive = makeArchive(QStringLiteral("1.5"));
    peer.serveUpdateFile(QStringLiteral("a.tar.xz"), archive);
    const QJsonObject item{
        {QStringLiteral("version"), QStringLiteral("1.5")},
        {QStringLiteral("releaseNotesLink"), peer.url(QStringLiteral("/notes/1.5.html"))},
        {QStringLiteral("enclosure"),
         QJsonObject{{QStringLiteral("url"), peer.url(ManagementServerPeer::updateFilePath(QStringLiteral("a.tar.xz")))},
                     {QStringLiteral("length"), QString::number(QFileInfo(archive).size())},
                     {QStringLiteral("sparkle:edSignature"), UpdateTest::signFile(key, archive)}}}};
    ASSERT_TRUE(peer.setUpdateFeed(QJsonArray{item}));
    driver.answerToUpdateFound.reset();
    makeUpdater();
    updater->checkForUpdates();
    ASSERT_TRUE(QTest::qWaitFor([&] { return driver.calls.contains(QStringLiteral("releaseNotes")); }, timeoutMs));
    EXPECT_EQ(driver.releaseNotes, QByteArray("<h1>What is new</h1>"));
    // A second request while the offer is showing brings it forward instead.
    updater->checkForUpdates();
    EXPECT_EQ(driver.count(QStringLiteral("inFocus")), 1);
    EXPECT_EQ(driver.count(QStringLiteral("userInitiatedCheck")), 1);
}

TEST_F(SoftwareUpdaterTest, StartRefusesABundleItCannotUpdate)
{
    struct Case
    {
        const char* name;
        std::function<void()> arrange;
        int code;
    };
    const QList<Case> cases = {
        {"no Info.plist", [&] { QFile::remove(installed + QStringLiteral("/Contents/Info.plist")); },
         UpdateError::InvalidHostBundleError},
        {"undecodable key", [&] { UpdateTest::writeBundle(installed, QStringLiteral("1.4.2"), QStringLiteral("abc")); },
         UpdateError::NoPublicKeyError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        const Bundle bundle(installed);
        SoftwareUpdater refused(bundle, bundle, &driver, &delegate, network());
        UpdateError error;
        EXPECT_FALSE(refused.startUpdater(&error));
        EXPECT_EQ(error.code, c.code);
        delegate.events.clear();
        refused.checkForUpdatesInBackground();
        EXPECT_EQ(delegate.events, QStringList{QStringLiteral("abort %1").arg(int(UpdateError::InvalidUpdaterError))});
        UpdateTest::writeBundle(installed, QStringLiteral("1.4.2"), key.publicBase64());
    }
}

TEST_F(SoftwareUpdaterTest, ChecksOnItsOwnEveryIntervalOnceAllowed)
{
    publishSigned(QStringLiteral("1.4.2"), makeArchive(QStringLiteral("1.4.2")));
    UserDefaults::standard().remove(QStringLiteral("SUEnableAutomaticChecks"));
    driver.permissionAnswer = true;
    makeUpdater(true);
    EXPECT_EQ(driver.calls, QStringList{QStringLiteral("permission")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return updater->automaticallyChecksForUpdates(); }, timeoutMs));
    updater->setUpdateCheckInterval(std::chrono::seconds(1));
    // Past the second period: three checks, each a quiet "no update".
    ASSERT_TRUE(QTest::qWaitFor([&] { return peer.requests(ManagementServerPeer::updateFeedPath()).size() >= 3; },
                                timeoutMs));
    EXPECT_GE(delegate.events.count(QStringLiteral("abort 1001")), 2);
    EXPECT_EQ(driver.calls, QStringList{QStringLiteral("permission")});

    updater->setAutomaticallyChecksForUpdates(false);
    ASSERT_TRUE(waitForSessionEnd());
    const auto count = peer.requests(ManagementServerPeer::updateFeedPath()).size();
    QTest::qWait(2500); // two intervals with automatic checks off
    EXPECT_EQ(peer.requests(ManagementServerPeer::updateFeedPath()).size(), count);
    // The choice is remembered: a new updater does not ask again.
    driver.calls.clear();
    makeUpdater(true);
    EXPECT_TRUE(driver.calls.isEmpty());
    EXPECT_FALSE(updater->automaticallyChecksForUpdates());
}

TEST_F(SoftwareUpdaterTest, AFailedRelaunchIsReportedAndTheNewVersionStaysInstalled)
{
    publishSigned(QStringLiteral("1.5"), makeArchive(QStringLiteral("1.5")));
    makeUpdater();
    updater->setRelauncher([](const Bundle&) { return false; });
    updater->checkForUpdates();
    ASSERT_TRUE(waitForSessionEnd());
    EXPECT_EQ(driver.calls.mid(driver.calls.indexOf(QStringLiteral("installing"))),
              (QStringList{QStringLiteral("installing"), QStringLiteral("installedNotRelaunched"), QStringLiteral("dismiss")}));
    EXPECT_EQ(delegate.events, (QStringList{QStringLiteral("found"), QStringLiteral("willRelaunch")}));
    EXPECT_EQ(Bundle(installed).string(QStringLiteral("CFBundleVersion")), QStringLiteral("1.5"));
}

// The real relaunch: the new program starts on its own and this one's event loop ends with 0.
TEST_F(SoftwareUpdaterTest, DefaultRelaunchStartsTheProgramDetachedAndEndsTheEventLoopWithZero)
{
    const QString marker = TestEnvironment::root() + QStringLiteral("/relaunched");
    QFile script(installed + QStringLiteral("/Contents/MacOS/Norvane"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
    script.write("#!/bin/sh\necho started > '" + marker.toUtf8() + "'\n");
    script.close();

    bool started = false;
    QTimer::singleShot(0, [&] { started = SoftwareUpdater::defaultRelauncher(Bundle(installed)); });
    QTimer::singleShot(timeoutMs, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(started);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(marker); }, timeoutMs));

    EXPECT_FALSE(SoftwareUpdater::defaultRelauncher(Bundle(work + QStringLiteral("/missing.app"))));
}

// "Later" at ready-to-install keeps the prepared update: a check offers it again without
// downloading, and quitting installs it (without a relaunch).
TEST_F(SoftwareUpdaterTest, AnUpdateLeftForLaterIsInstalledWhenTheProgramQuits)
{
    publishSigned(QStringLiteral("1.5"), makeArchive(QStringLiteral("1.5")));
    const auto before = UpdateTest::snapshot(installed);
    driver.answerToReadyToInstall = UpdateChoice::dismiss;
    makeUpdater();
    updater->checkForUpdates();
    ASSERT_TRUE(waitForSessionEnd());
    EXPECT_EQ(driver.calls.last(), QStringLiteral("dismiss"));
    EXPECT_EQ(UpdateTest::snapshot(installed), before);

    driver.calls.clear();
    updater->checkForUpdatesInBackground(); // quiet checks leave it waiting
    updater->checkForUpdates();
    ASSERT_TRUE(waitForSessionEnd());
    EXPECT_EQ(driver.calls, (QStringList{QStringLiteral("readyToInstall"), QStringLiteral("dismiss")}));
    EXPECT_EQ(peer.requests(ManagementServerPeer::updateFeedPath()).size(), 1);

    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    EXPECT_EQ(Bundle(installed).string(QStringLiteral("CFBundleVersion")), QStringLiteral("1.5"));
    EXPECT_TRUE(relaunched.isEmpty());
    EXPECT_FALSE(delegate.events.contains(QStringLiteral("willRelaunch")));
}
