#include "core/Device.h"
#include "core/Log.h"
#include "platform/Bundle.h"
#include "platform/Pasteboard.h"

#include "LogEntries.h"
#include "TestEnvironment.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

namespace {
QStringList logLines()
{
    return LogEntries::read(Log::shared().currentFilePath());
}
} // namespace

TEST(Device, FingerprintIsTheUpperCaseSha1OfTheUtf8Serial)
{
    // Reference digests from an independent SHA-1 implementation.
    const struct
    {
        QString serial;
        QString identifier;
    } cases[] = {
        {QStringLiteral("abc"), QStringLiteral("A9993E364706816ABA3E25717850C26C9CD0D89D")},
        {QString(), QStringLiteral("DA39A3EE5E6B4B0D3255BFEF95601890AFD80709")},
        {QStringLiteral("C02XK1ABJGH5"), QStringLiteral("0F1CAA14AD0E5CB615D24A77CA26AADA8B262D35")},
        {QStringLiteral("séri€-№1"), QStringLiteral("5BB98DA7FFD18B56C2BC877A6D865658DE21B33C")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.serial.toStdString());
        EXPECT_EQ(Device::fingerprintOf(c.serial), c.identifier);
        EXPECT_EQ(Device::fingerprint(std::optional<QString>(c.serial)), c.identifier);
        EXPECT_EQ(logLines().last(), QStringLiteral("My fingerprint is ") + c.identifier);
    }
}

TEST(Device, NoSerialGivesAnEmptyIdentifierAndNoLogLine)
{
    log(QStringLiteral("before"));
    EXPECT_EQ(Device::fingerprint(std::nullopt), QString());
    EXPECT_EQ(logLines(), QStringList{QStringLiteral("before")});
}

TEST(Device, FingerprintOfThisMachineFollowsItsSerial)
{
    const std::optional<QString> serial = Device::serialNumber();
    const QString identifier = Device::fingerprint();
    if (!serial) {
        EXPECT_EQ(identifier, QString());
        return;
    }
    EXPECT_EQ(identifier, Device::fingerprintOf(*serial));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{40}$")).match(identifier).hasMatch());
    EXPECT_EQ(Device::fingerprint(), identifier);
}

TEST(Device, VersionTripleAlwaysHasThreeNumbers)
{
    const struct
    {
        const char* text;
        const char* triple;
    } cases[] = {
        {"6.1.0-18-amd64", "6.1.0"},
        {"6.18.44-fc-v1422", "6.18.44"},
        {"5.15", "5.15.0"},
        {"14", "14.0.0"},
        {"10.04.3", "10.4.3"},
        {"", "0.0.0"},
        {"abc", "0.0.0"},
        {"4.19.0.5", "4.19.0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Device::versionTriple(QString::fromLatin1(c.text)), QString::fromLatin1(c.triple))
            << c.text;
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+$")).match(Device::osVersion()).hasMatch())
        << Device::osVersion().toStdString();
}

TEST(Device, AppVersionComesFromTheMainBundleOrIsEmpty)
{
    const auto makeBundle = [](const QString& name, const QString& extraKeys) {
        const QString path = TestEnvironment::root() + QLatin1Char('/') + name + QStringLiteral(".app");
        TestEnvironment::writeFile(
            path + QStringLiteral("/Contents/Info.plist"),
            (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                            "<key>CFBundleIdentifier</key><string>org.example.test</string>") +
             extraKeys + QStringLiteral("</dict></plist>\n"))
                .toUtf8());
        return path;
    };
    Bundle::setMainBundlePath(
        makeBundle(QStringLiteral("Versioned"),
                   QStringLiteral("<key>CFBundleShortVersionString</key><string>9.8.7</string>")));
    EXPECT_EQ(Device::appVersion(), QStringLiteral("9.8.7"));
    Bundle::setMainBundlePath(
        makeBundle(QStringLiteral("NotAText"),
                   QStringLiteral("<key>CFBundleShortVersionString</key><integer>3</integer>")));
    EXPECT_EQ(Device::appVersion(), QString());
    Bundle::setMainBundlePath(makeBundle(QStringLiteral("Unversioned"), QString()));
    EXPECT_EQ(Device::appVersion(), QString());
}

TEST(Device, RunConsoleCommandWithWaitReturnsAndLogsTheUntrimmedOutput)
{
    const struct
    {
        QString command;
        QString output;
    } cases[] = {
        {QStringLiteral("printf 'ok\\n'"), QStringLiteral("ok\n")},
        {QStringLiteral("echo one; echo two >&2; echo three"), QStringLiteral("one\nthree\n")},
        {QStringLiteral("printf '\\377\\376'"), QString()}, // not UTF-8
        {QStringLiteral("exit 3"), QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command.toStdString());
        EXPECT_EQ(runConsoleCommand(c.command, true), c.output);
        EXPECT_EQ(logLines().last(), QStringLiteral("NVAppProxyProvider runConsoleCommand ") + c.command +
                                         QLatin1Char(' ') + c.output);
    }
}

TEST(Device, RunConsoleCommandWithoutWaitReturnsAtOnceAndLogsNothing)
{
    const QString marker = TestEnvironment::root() + QStringLiteral("/ran");
    log(QStringLiteral("before"));
    EXPECT_EQ(runConsoleCommand(QStringLiteral("touch '%1'; echo printed").arg(marker), false), QString());
    // The command still runs.
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(marker); }, 10'000));
    EXPECT_EQ(logLines(), QStringList{QStringLiteral("before")});
}

TEST(Device, CopyToPasteboardReplacesWhatWasThere)
{
    auto* rich = new QMimeData;
    rich->setHtml(QStringLiteral("<b>old</b>"));
    rich->setData(QStringLiteral("application/x-custom"), "binary");
    QGuiApplication::clipboard()->setMimeData(rich);

    Device::copyToPasteboard(QStringLiteral("4F1C8E2A"));
    const QMimeData* now = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(now, nullptr);
    EXPECT_EQ(now->text(), QStringLiteral("4F1C8E2A"));
    EXPECT_FALSE(now->hasHtml());
    EXPECT_FALSE(now->hasFormat(QStringLiteral("application/x-custom")));
}
