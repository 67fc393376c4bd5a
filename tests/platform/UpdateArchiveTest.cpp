#include "platform/AppcastParser.h"
#include "platform/Bundle.h"
#include "platform/BundleInstaller.h"
#include "platform/Ed25519Verifier.h"
#include "platform/UpdateArchiveExtractor.h"

#include "TestEnvironment.h"
#include "UpdateTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

#include <openssl/bn.h>
#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <cerrno>

using UpdateTest::Entry;
using UpdateTest::Format;

namespace {

QString folder(const QString& name)
{
    const QString path = TestEnvironment::root() + QLatin1Char('/') + name;
    QDir().mkpath(path);
    return path;
}

QString writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    return path;
}

bool extract(const QString& archive, const QString& staging, QString* error = nullptr)
{
    std::atomic<bool> cancelled{false};
    return UpdateArchiveExtractor::extract(archive, staging, {}, cancelled, error);
}

} // namespace

TEST(Ed25519Verifier, AcceptsOnlyTheSignatureOfTheKeyOverTheSameBytes)
{
    const UpdateTest::KeyPair key = UpdateTest::makeKeyPair();
    const UpdateTest::KeyPair other = UpdateTest::makeKeyPair();
    const QString file = writeFile(folder(QStringLiteral("sig")) + QStringLiteral("/a.bin"), QByteArray(300'000, 'a'));
    const QByteArray signature = *Ed25519Verifier::decodeSignature(UpdateTest::signFile(key, file));

    EXPECT_TRUE(Ed25519Verifier::verifyFile(file, key.publicKey, signature));
    QString error;
    EXPECT_FALSE(Ed25519Verifier::verifyFile(file, other.publicKey, signature, &error));
    EXPECT_FALSE(error.isEmpty());
    QByteArray flipped = signature;
    flipped[10] = char(flipped[10] ^ 1);
    EXPECT_FALSE(Ed25519Verifier::verifyFile(file, key.publicKey, flipped));

    // One byte more or changed at the end.
    QFile append(file);
    ASSERT_TRUE(append.open(QIODevice::Append));
    append.write("b");
    append.close();
    EXPECT_FALSE(Ed25519Verifier::verifyFile(file, key.publicKey, signature));
    EXPECT_FALSE(Ed25519Verifier::verifyFile(file + QStringLiteral(".missing"), key.publicKey, signature));

    const QString empty = writeFile(folder(QStringLiteral("sig")) + QStringLiteral("/empty.bin"), {});
    EXPECT_TRUE(Ed25519Verifier::verifyFile(empty, key.publicKey,
                                            *Ed25519Verifier::decodeSignature(UpdateTest::signFile(key, empty))));
}

namespace {

// libcrypto's own Ed25519 verification, over the message in memory.
bool libcryptoVerifies(const QByteArray& publicKey, const QByteArray& signature, const QByteArray& message)
{
    EVP_PKEY* key = EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                                reinterpret_cast<const unsigned char*>(publicKey.constData()), 32);
    if (!key)
        return false;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestVerifyInit(context, nullptr, nullptr, nullptr, key);
    const int result = EVP_DigestVerify(context, reinterpret_cast<const unsigned char*>(signature.constData()), 64,
                                        reinterpret_cast<const unsigned char*>(message.constData()), size_t(message.size()));
    EVP_MD_CTX_free(context);
    EVP_PKEY_free(key);
    return result == 1;
}

} // namespace

// The file is hashed in pieces and the equation checked on another form of the curve; the
// verdict must be libcrypto's for good and damaged signatures alike.
TEST(Ed25519Verifier, AgreesWithLibcryptoOnGoodAndDamagedSignatures)
{
    const QString dir = folder(QStringLiteral("agree"));
    QRandomGenerator random(7);
    int accepted = 0;
    for (int round = 0; round < 60; ++round) {
        const UpdateTest::KeyPair key = UpdateTest::makeKeyPair();
        QByteArray message(int(random.bounded(1, 3 * 1024 * 1024)), Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32*>(message.data()), message.size() / 4);
        const QString file = writeFile(dir + QStringLiteral("/m.bin"), message);
        QByteArray signature = *Ed25519Verifier::decodeSignature(UpdateTest::signFile(key, file));
        QByteArray publicKey = key.publicKey;
        switch (round % 4) {
        case 0: break; // untouched
        case 1: signature[int(random.bounded(64))] ^= char(1 << random.bounded(8)); break;
        case 2: publicKey[int(random.bounded(32))] ^= char(1 << random.bounded(8)); break;
        case 3: {
            // S + L: the same point equation, but not the canonical scalar.
            BIGNUM* s = BN_lebin2bn(reinterpret_cast<const unsigned char*>(signature.constData()) + 32, 32, nullptr);
            BIGNUM* order = nullptr;
            BN_dec2bn(&order, "7237005577332262213973186563042994240857116359379907606001950938285454250989");
            BN_add(s, s, order);
            BN_bn2lebinpad(s, reinterpret_cast<unsigned char*>(signature.data()) + 32, 32);
            BN_free(s);
            BN_free(order);
            break;
        }
        }
        const bool ours = Ed25519Verifier::verifyFile(file, publicKey, signature);
        EXPECT_EQ(ours, libcryptoVerifies(publicKey, signature, message)) << "round " << round;
        accepted += ours ? 1 : 0;
    }
    EXPECT_EQ(accepted, 15); // exactly the untouched ones
}

TEST(Ed25519Verifier, RefusesKeysOfSmallOrder)
{
    const QString file = writeFile(folder(QStringLiteral("small")) + QStringLiteral("/m.bin"), "anything");
    // The neutral element as key, R the neutral element and S = 0 satisfy the equation for
    // every message.
    QByteArray identity(32, '\0');
    identity[0] = 1;
    QByteArray signature = identity + QByteArray(32, '\0');
    EXPECT_FALSE(Ed25519Verifier::verifyFile(file, identity, signature));
    QByteArray orderTwo(32, char(0xff)); // y = -1
    orderTwo[0] = char(0xec);
    orderTwo[31] = 0x7f;
    EXPECT_FALSE(Ed25519Verifier::verifyFile(file, orderTwo, identity + QByteArray(32, '\0')));
}

TEST(Ed25519Verifier, DecodesOnlyBase64OfTheRightSize)
{
    EXPECT_TRUE(Ed25519Verifier::decodePublicKey(QString::fromLatin1(QByteArray(32, 'k').toBase64())));
    EXPECT_TRUE(Ed25519Verifier::decodeSignature(QString::fromLatin1(QByteArray(64, 's').toBase64())));
    for (const QString& text : {QString(), QStringLiteral("not base64 !!"),
                                QString::fromLatin1(QByteArray(31, 'k').toBase64()),
                                QString::fromLatin1(QByteArray(33, 'k').toBase64())})
        EXPECT_FALSE(Ed25519Verifier::decodePublicKey(text)) << text.toStdString();
    EXPECT_FALSE(Ed25519Verifier::decodeSignature(QString::fromLatin1(QByteArray(32, 's').toBase64())));
}

TEST(UpdateArchiveExtractor, JudgesEntryNamesAndLinkTargets)
{
    struct Case
    {
        const char* path;
        const char* symlink;
        const char* hardlink;
        bool safe;
    };
    const Case cases[] = {
        {"Norvane.app/Contents/Info.plist", "", "", true},
        {"./Norvane.app/x", "", "", true},
        {"/etc/passwd", "", "", false},
        {"../evil", "", "", false},
        {"Norvane.app/../../evil", "", "", false},
        {"Norvane.app/..", "", "", false},
        {"Norvane.app/lib/current", "../lib2", "", true},
        {"Norvane.app/link", "..", "", true},
        {"Norvane.app/link", "../..", "", false},
        {"Norvane.app/link", "/usr/bin/sh", "", false},
        {"top", "..", "", false},
        {"Norvane.app/a/b/c", "../../../x", "", true},
        {"Norvane.app/a/b/c", "../../../../x", "", false},
        {"Norvane.app/h", "", "Norvane.app/x", true},
        {"Norvane.app/h", "", "../outside", false},
        {"Norvane.app/h", "", "/etc/shadow", false},
    };
    for (const Case& c : cases) {
        const QString problem = UpdateArchiveExtractor::entryProblem(
            QString::fromLatin1(c.path), QString::fromLatin1(c.symlink), QString::fromLatin1(c.hardlink));
        EXPECT_EQ(problem.isEmpty(), c.safe) << c.path << " -> " << c.symlink << c.hardlink << ": "
                                             << problem.toStdString();
    }
}

TEST(UpdateArchiveExtractor, UnpacksEachFormatKeepingLinksAndModes)
{
    const QString source = folder(QStringLiteral("source")) + QStringLiteral("/Norvane.app");
    UpdateTest::writeBundle(source, QStringLiteral("2.0"), QStringLiteral("key"));
    ASSERT_EQ(QFile::link(QStringLiteral("version.txt"), source + QStringLiteral("/Contents/Resources/current")), true);
    const QList<Entry> entries = UpdateTest::entriesOf(source, QStringLiteral("Norvane.app"));

    for (const auto& [format, name] : {std::pair{Format::tarXz, "a.tar.xz"}, std::pair{Format::tarGz, "a.tar.gz"},
                                       std::pair{Format::zip, "a.zip"}}) {
        const QString archive = folder(QStringLiteral("archives")) + QLatin1Char('/') + QLatin1String(name);
        UpdateTest::writeArchive(archive, entries, format);
        const QString staging = folder(QStringLiteral("staging-") + QLatin1String(name));
        QList<double> progress;
        std::atomic<bool> cancelled{false};
        QString error;
        ASSERT_TRUE(UpdateArchiveExtractor::extract(archive, staging, [&](double p) { progress.append(p); },
                                                    cancelled, &error))
            << name << ": " << error.toStdString();
        EXPECT_EQ(UpdateTest::snapshot(staging + QStringLiteral("/Norvane.app")), UpdateTest::snapshot(source)) << name;
        EXPECT_TRUE(QFileInfo(staging + QStringLiteral("/Norvane.app/Contents/MacOS/Norvane")).isExecutable());
        ASSERT_FALSE(progress.isEmpty()) << name;
        EXPECT_EQ(progress.last(), 1.0);
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    }
}

TEST(UpdateArchiveExtractor, RefusesTheWholeArchiveForOneUnsafeEntry)
{
    const QString outside = folder(QStringLiteral("outside"));
    const QList<Entry> good = {
        {QStringLiteral("Norvane.app"), Entry::Type::directory, {}, {}, 0755},
        {QStringLiteral("Norvane.app/ok.txt"), Entry::Type::file, "fine", {}, 0644},
    };
    struct Case
    {
        const char* name;
        QList<Entry> extra;
    };
    const QList<Case> cases = {
        {"absolute path", {{outside + QStringLiteral("/abs.txt"), Entry::Type::file, "x", {}, 0644}}},
        {"dot-dot", {{QStringLiteral("Norvane.app/../../outside/dd.txt"), Entry::Type::file, "x", {}, 0644}}},
        {"link to outside", {{QStringLiteral("Norvane.app/out"), Entry::Type::symlink, {}, outside, 0777}}},
        {"relative link to outside", {{QStringLiteral("Norvane.app/out"), Entry::Type::symlink, {}, QStringLiteral("../.."), 0777}}},
        {"links that lead out together",
         {{QStringLiteral("Norvane.app/here"), Entry::Type::symlink, {}, QStringLiteral("."), 0777},
          {QStringLiteral("Norvane.app/up"), Entry::Type::symlink, {}, QStringLiteral("here/.."), 0777},
          {QStringLiteral("Norvane.app/out"), Entry::Type::symlink, {}, QStringLiteral("up/.."), 0777}}},
        {"write through a link",
         {{QStringLiteral("Norvane.app/dir"), Entry::Type::symlink, {}, QStringLiteral("."), 0777},
          {QStringLiteral("Norvane.app/dir/../../x.txt"), Entry::Type::file, "x", {}, 0644}}},
        {"hard link to outside", {{QStringLiteral("Norvane.app/h"), Entry::Type::hardlink, {}, QStringLiteral("../x"), 0644}}},
        {"device node", {{QStringLiteral("Norvane.app/null"), Entry::Type::characterDevice, {}, {}, 0666}}},
        {"pipe", {{QStringLiteral("Norvane.app/fifo"), Entry::Type::fifo, {}, {}, 0644}}},
    };
    for (const Case& c : cases) {
        const QString archive = folder(QStringLiteral("hostile")) + QStringLiteral("/a.tar.gz");
        // The unsafe entry comes last, after good ones were unpacked.
        UpdateTest::writeArchive(archive, good + c.extra, Format::tarGz);
        const QString staging = folder(QStringLiteral("staging-hostile-") + QString::number(qHash(QLatin1String(c.name))));
        QString error;
        EXPECT_FALSE(extract(archive, staging, &error)) << c.name;
        EXPECT_TRUE(error.contains(QStringLiteral("refused"))) << c.name << ": " << error.toStdString();
        EXPECT_TRUE(QDir(staging).isEmpty()) << c.name;
        EXPECT_TRUE(QDir(outside).isEmpty()) << c.name;
        EXPECT_FALSE(QFileInfo::exists(TestEnvironment::root() + QStringLiteral("/x.txt"))) << c.name;
    }
}

TEST(UpdateArchiveExtractor, RefusesDamagedEmptyAndForeignArchives)
{
    const QString dir = folder(QStringLiteral("damaged"));
    const QString source = dir + QStringLiteral("/src/Norvane.app");
    UpdateTest::writeBundle(source, QStringLiteral("2.0"), std::nullopt);
    UpdateTest::writeBundle(source + QStringLiteral("/Contents/Resources/big"), QStringLiteral("2.0"), std::nullopt);
    const QString whole = dir + QStringLiteral("/whole.tar.xz");
    UpdateTest::writeArchive(whole, UpdateTest::entriesOf(source, QStringLiteral("Norvane.app")), Format::tarXz);
    QFile file(whole);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();

    const QList<std::pair<const char*, QByteArray>> cases = {
        {"cut in half", bytes.left(bytes.size() / 2)},
        {"not an archive", QByteArray("just some text, not an archive at all")},
        {"empty file", QByteArray()},
    };
    for (const auto& [name, content] : cases) {
        const QString archive = writeFile(dir + QStringLiteral("/case.tar.xz"), content);
        const QString staging = folder(QStringLiteral("staging-damaged-") + QLatin1String(name).left(3));
        QString error;
        EXPECT_FALSE(extract(archive, staging, &error)) << name;
        EXPECT_FALSE(error.isEmpty()) << name;
        EXPECT_TRUE(QDir(staging).isEmpty()) << name;
    }
}

TEST(UpdateArchiveExtractor, RefusesAnArchiveThatUnpacksPastTheLimit)
{
    // A megabyte of zeros packs into a few hundred bytes: the limit counts what is unpacked.
    const QList<Entry> entries = {{QStringLiteral("Norvane.app"), Entry::Type::directory, {}, {}, 0755},
                                  {QStringLiteral("Norvane.app/a"), Entry::Type::file, QByteArray(600 << 10, '\0'), {}, 0644},
                                  {QStringLiteral("Norvane.app/b"), Entry::Type::file, QByteArray(600 << 10, '\0'), {}, 0644}};
    const struct
    {
        const char* name;
        Format format;
        qint64 limit;
        bool unpacks;
    } cases[] = {
        {"tar.gz under the limit", Format::tarGz, 2 << 20, true},
        {"tar.gz past the limit with its second file", Format::tarGz, 1 << 20, false},
        {"zip past the limit with its first file", Format::zip, 512 << 10, false},
        {"tar.xz exactly at the limit", Format::tarXz, 1200 << 10, true},
    };
    const QString dir = folder(QStringLiteral("limit"));
    int n = 0;
    for (const auto& c : cases) {
        const QString archive = dir + QStringLiteral("/case%1.archive").arg(n);
        UpdateTest::writeArchive(archive, entries, c.format);
        const QString staging = folder(QStringLiteral("limit-staging-%1").arg(n++));
        std::atomic<bool> cancelled{false};
        QString error;
        EXPECT_EQ(UpdateArchiveExtractor::extract(archive, staging, {}, cancelled, &error, c.limit), c.unpacks)
            << c.name << ": " << error.toStdString();
        if (!c.unpacks) {
            EXPECT_TRUE(error.contains(QStringLiteral("unpacks to more than"))) << c.name;
            EXPECT_TRUE(QDir(staging).isEmpty()) << c.name;
        }
    }
}

TEST(UpdateArchiveExtractor, StopsWhenCancelled)
{
    const QString source = folder(QStringLiteral("cancel")) + QStringLiteral("/Norvane.app");
    UpdateTest::writeBundle(source, QStringLiteral("2.0"), std::nullopt);
    const QString archive = folder(QStringLiteral("cancel")) + QStringLiteral("/a.zip");
    UpdateTest::writeArchive(archive, UpdateTest::entriesOf(source, QStringLiteral("Norvane.app")), Format::zip);
    std::atomic<bool> cancelled{true};
    const QString staging = folder(QStringLiteral("cancel-staging"));
    EXPECT_FALSE(UpdateArchiveExtractor::extract(archive, staging, {}, cancelled));
    EXPECT_TRUE(QDir(staging).isEmpty());
}

namespace {

struct InstallFixture
{
    QString installed = folder(QStringLiteral("apps")) + QStringLiteral("/Norvane.app");
    QString staged = folder(QStringLiteral("staged")) + QStringLiteral("/Norvane.app");
    InstallFixture()
    {
        UpdateTest::writeBundle(installed, QStringLiteral("1.0"), QStringLiteral("k"));
        UpdateTest::writeBundle(staged, QStringLiteral("2.0"), QStringLiteral("k"));
    }
    QStringList leftovers() const
    {
        return QDir(QFileInfo(installed).absolutePath())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

} // namespace

TEST(BundleInstaller, SwapsTheNewBundleInAndRemovesTheOld)
{
    for (bool exchangeSupported : {true, false}) {
        InstallFixture fixture;
        const auto expected = UpdateTest::snapshot(fixture.staged);
        BundleInstaller::Operations operations = BundleInstaller::Operations::system();
        if (!exchangeSupported)
            operations.exchange = [](const QString&, const QString&) { return EINVAL; };
        QString error;
        ASSERT_TRUE(BundleInstaller(operations).install(fixture.staged, fixture.installed, &error))
            << error.toStdString();
        EXPECT_EQ(UpdateTest::snapshot(fixture.installed), expected);
        EXPECT_EQ(fixture.leftovers(), QStringList{QStringLiteral("Norvane.app")});
        EXPECT_FALSE(QFileInfo::exists(fixture.staged));
        QDir(TestEnvironment::root() + QStringLiteral("/apps")).removeRecursively();
    }
}

TEST(BundleInstaller, LeavesTheOldBundleInPlaceWhenAStepFails)
{
    struct Case
    {
        const char* name;
        int failingRename; // 1-based count of the rename that fails; 0: none
        int exchangeResult;
    };
    // Renames: 1 staged -> beside, 2 old aside, 3 new in, 4 old back.
    const Case cases[] = {
        {"moving the new one next to the old", 1, 0},
        {"exchanging", 0, EACCES},
        {"moving the old one aside", 2, EINVAL},
        {"moving the new one in", 3, EINVAL},
    };
    for (const Case& c : cases) {
        InstallFixture fixture;
        const auto before = UpdateTest::snapshot(fixture.installed);
        BundleInstaller::Operations operations = BundleInstaller::Operations::system();
        int renames = 0;
        const auto realRename = operations.rename;
        operations.rename = [&](const QString& from, const QString& to) {
            return ++renames == c.failingRename ? EIO : realRename(from, to);
        };
        const auto realExchange = operations.exchange;
        operations.exchange = [&](const QString& a, const QString& b) {
            return c.exchangeResult == 0 ? realExchange(a, b) : c.exchangeResult;
        };
        QString error;
        EXPECT_FALSE(BundleInstaller(operations).install(fixture.staged, fixture.installed, &error)) << c.name;
        EXPECT_FALSE(error.isEmpty()) << c.name;
        EXPECT_EQ(UpdateTest::snapshot(fixture.installed), before) << c.name;
        EXPECT_EQ(fixture.leftovers(), QStringList{QStringLiteral("Norvane.app")}) << c.name;
        QDir(TestEnvironment::root() + QStringLiteral("/apps")).removeRecursively();
    }
}

TEST(BundleInstaller, CopiesFromAnotherFileSystem)
{
    InstallFixture fixture;
    QFile::link(QStringLiteral("MacOS/Norvane"), fixture.staged + QStringLiteral("/Contents/program"));
    const auto expected = UpdateTest::snapshot(fixture.staged);
    BundleInstaller::Operations operations = BundleInstaller::Operations::system();
    const auto realRename = operations.rename;
    bool first = true;
    operations.rename = [&](const QString& from, const QString& to) {
        return std::exchange(first, false) ? EXDEV : realRename(from, to);
    };
    ASSERT_TRUE(BundleInstaller(operations).install(fixture.staged, fixture.installed));
    EXPECT_EQ(UpdateTest::snapshot(fixture.installed), expected);
    EXPECT_TRUE(QFileInfo(fixture.installed + QStringLiteral("/Contents/program")).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(fixture.staged));
}

// The publishing scripts make what the updater accepts: their key, signature and archive,
// and an Info.plist rewritten by another tool.
TEST(UpdatePublishingScripts, MakeASignedArchiveTheUpdaterAccepts)
{
    const QString dir = folder(QStringLiteral("publish"));
    const QString key = dir + QStringLiteral("/key.pem");
    QProcess process;
    process.start(QStringLiteral(NORVANE_SOURCE_DIR "/scripts/make-update-key.sh"), {key});
    ASSERT_TRUE(process.waitForFinished(60'000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const std::optional<QByteArray> publicKey =
        Ed25519Verifier::decodePublicKey(QString::fromLatin1(process.readAllStandardOutput()));
    ASSERT_TRUE(publicKey);
    EXPECT_EQ(QFileInfo(key).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFileDevice::Permissions());

    const QString bundle = dir + QStringLiteral("/Norvane.app");
    UpdateTest::writeBundle(bundle, QStringLiteral("1.4.2"), QString::fromLatin1(publicKey->toBase64()));
    for (const char* format : {"tar.xz", "zip"}) {
        process.start(QStringLiteral(NORVANE_SOURCE_DIR "/scripts/make-update.py"),
                      {QStringLiteral("--bundle"), bundle, QStringLiteral("--version"), QStringLiteral("1.4.10"),
                       QStringLiteral("--short-version"), QStringLiteral("1.4 (10)"), QStringLiteral("--key"), key,
                       QStringLiteral("--out"), dir + QStringLiteral("/out"), QStringLiteral("--format"),
                       QLatin1String(format)});
        ASSERT_TRUE(process.waitForFinished(60'000));
        ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        const QString archive = dir + QStringLiteral("/out/Norvane-1.4.10.") + QLatin1String(format);

        QFile feed(dir + QStringLiteral("/out/appcast.xml"));
        ASSERT_TRUE(feed.open(QIODevice::ReadOnly));
        const std::optional<Appcast> appcast = AppcastParser::parse(feed.readAll());
        ASSERT_TRUE(appcast && appcast->items.size() == 1) << format;
        const AppcastItem& item = appcast->items.first();
        EXPECT_EQ(item.versionString, QStringLiteral("1.4.10"));
        EXPECT_EQ(item.displayVersionString, QStringLiteral("1.4 (10)"));
        EXPECT_EQ(item.contentLength, quint64(QFileInfo(archive).size()));
        EXPECT_TRUE(item.fileURL.path().endsWith(QFileInfo(archive).fileName()));
        EXPECT_TRUE(Ed25519Verifier::verifyFile(archive, *publicKey, *Ed25519Verifier::decodeSignature(item.edSignature)))
            << format;

        const QString staging = folder(QStringLiteral("publish-staging-") + QLatin1String(format));
        QString error;
        ASSERT_TRUE(extract(archive, staging, &error)) << error.toStdString();
        const Bundle unpacked(staging + QStringLiteral("/Norvane.app"));
        EXPECT_EQ(unpacked.string(QStringLiteral("CFBundleVersion")), QStringLiteral("1.4.10"));
        EXPECT_EQ(unpacked.string(QStringLiteral("SUPublicEDKey")), QString::fromLatin1(publicKey->toBase64()));
        EXPECT_TRUE(QFileInfo(unpacked.executablePath()).isExecutable()) << format;
    }
}
