#include "platform/AppcastParser.h"
#include "platform/UpdateVersion.h"

#include <gtest/gtest.h>

namespace {

QByteArray feed(const QByteArray& items, const QByteArray& prefix = "sparkle")
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\" xmlns:" + prefix +
           "=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel><title>Norvane</title>" + items +
           "</channel></rss>";
}

} // namespace

TEST(UpdateVersion, ComparesComponentsAsNumbers)
{
    struct Case
    {
        const char* left;
        const char* right;
        int order;
    };
    const Case cases[] = {
        {"1.10", "1.9", 1},         {"1.9", "1.10", -1},      {"1.2", "1.2.0", 0},
        {"1.2.1", "1.2", 1},        {"2", "1.99.99", 1},      {"1.02", "1.2", 0},
        {"1.4.2", "1.4.2", 0},      {"10.0", "9.9", 1},       {"", "0", 0},
        {"", "1", -1},              {"1.2b3", "1.2", 0},      {"1.a", "1.0", 0},
        {"99999999999999999999.1", "99999999999999999998.9", 1}, // beyond 64 bits
        {" 1.5 ", "1.4", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UpdateVersion::compare(QString::fromLatin1(c.left), QString::fromLatin1(c.right)), c.order)
            << c.left << " vs " << c.right;
        EXPECT_EQ(UpdateVersion::compare(QString::fromLatin1(c.right), QString::fromLatin1(c.left)), -c.order)
            << c.right << " vs " << c.left;
    }
}

TEST(AppcastParser, ReadsItemsWithEveryEnclosureAttribute)
{
    const QByteArray document = feed(
        "<item><title>Version 1.5</title>"
        "<sparkle:version>1.5.0</sparkle:version><sparkle:shortVersionString>1.5</sparkle:shortVersionString>"
        "<description><![CDATA[<p>New <b>things</b></p>]]></description>"
        "<pubDate>Tue, 01 Dec 2026 10:00:00 +0000</pubDate>"
        "<enclosure url=\"https://example.org/N-1.5.tar.xz\" length=\"1234\" type=\"application/octet-stream\" "
        "channel=\"Beta\" sparkle:edSignature=\"c2ln\" sparkle:installationType=\"package\" extra=\"x&amp;y\"/>"
        "</item>"
        "<item><title>Notes only</title><sparkle:version>1.6</sparkle:version>"
        "<sparkle:releaseNotesLink>https://example.org/notes.html</sparkle:releaseNotesLink></item>");
    QString error;
    const std::optional<Appcast> appcast = AppcastParser::parse(document, &error);
    ASSERT_TRUE(appcast) << error.toStdString();
    ASSERT_EQ(appcast->items.size(), 2);

    const AppcastItem& first = appcast->items[0];
    EXPECT_EQ(first.title, QStringLiteral("Version 1.5"));
    EXPECT_EQ(first.versionString, QStringLiteral("1.5.0"));
    EXPECT_EQ(first.displayVersionString, QStringLiteral("1.5"));
    EXPECT_EQ(first.itemDescription, QStringLiteral("<p>New <b>things</b></p>"));
    EXPECT_EQ(first.date, QDateTime(QDate(2026, 12, 1), QTime(10, 0), Qt::UTC));
    EXPECT_EQ(first.fileURL, QUrl(QStringLiteral("https://example.org/N-1.5.tar.xz")));
    EXPECT_EQ(first.contentLength, 1234u);
    EXPECT_EQ(first.edSignature, QStringLiteral("c2ln"));
    const QVariantMap enclosure = first.propertiesDictionary().value(QStringLiteral("enclosure")).toMap();
    EXPECT_EQ(enclosure.value(QStringLiteral("channel")).toString(), QStringLiteral("Beta"));
    EXPECT_EQ(enclosure.value(QStringLiteral("type")).toString(), QStringLiteral("application/octet-stream"));
    EXPECT_EQ(enclosure.value(QStringLiteral("length")).toString(), QStringLiteral("1234"));
    EXPECT_EQ(enclosure.value(QStringLiteral("sparkle:edSignature")).toString(), QStringLiteral("c2ln"));
    EXPECT_EQ(enclosure.value(QStringLiteral("sparkle:installationType")).toString(), QStringLiteral("package"));
    EXPECT_EQ(enclosure.value(QStringLiteral("extra")).toString(), QStringLiteral("x&y"));
    EXPECT_EQ(enclosure.size(), 7);
    EXPECT_TRUE(first.hasEnclosure());

    const AppcastItem& second = appcast->items[1];
    EXPECT_FALSE(second.hasEnclosure());
    EXPECT_FALSE(second.propertiesDictionary().contains(QStringLiteral("enclosure")));
    EXPECT_EQ(second.displayVersionString, QStringLiteral("1.6")); // falls back to the version
    EXPECT_EQ(second.releaseNotesURL, QUrl(QStringLiteral("https://example.org/notes.html")));
}

// Feeds bind the update namespace to a prefix of their choice, and older ones put the
// versions on the enclosure.
TEST(AppcastParser, NamesTheUpdateNamespaceTheSameWhateverItsPrefix)
{
    const std::optional<Appcast> appcast = AppcastParser::parse(
        feed("<item><enclosure url=\"https://e.org/a.zip\" su:version=\"7\" su:shortVersionString=\"7.0\" "
             "su:edSignature=\"AAAA\" channel=\"Stable\"/></item>",
             "su"));
    ASSERT_TRUE(appcast);
    ASSERT_EQ(appcast->items.size(), 1);
    const AppcastItem& item = appcast->items[0];
    EXPECT_EQ(item.versionString, QStringLiteral("7"));
    EXPECT_EQ(item.displayVersionString, QStringLiteral("7.0"));
    EXPECT_EQ(item.edSignature, QStringLiteral("AAAA"));
    const QVariantMap enclosure = item.propertiesDictionary().value(QStringLiteral("enclosure")).toMap();
    EXPECT_TRUE(enclosure.contains(QStringLiteral("sparkle:edSignature")));
    EXPECT_EQ(item.contentLength, 0u); // no length given
}

TEST(AppcastParser, RefusesWhatIsNotAnAppcast)
{
    struct Case
    {
        const char* name;
        QByteArray document;
    };
    const Case cases[] = {
        {"empty", ""},
        {"not XML", "HTTP/1.1 500 oops"},
        {"HTML page", "<html><body>Maintenance</body></html>"},
        {"no channel", "<rss version=\"2.0\"></rss>"},
        {"cut off", feed("<item><title>x</title>").left(120)},
        {"unclosed item", "<rss><channel><item><title>x</title></channel></rss>"},
        {"garbage after the root", feed("") + "<rss>"},
        {"undeclared prefix", "<rss><channel><item><sparkle:version>1</sparkle:version></item></channel></rss>"},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_FALSE(AppcastParser::parse(c.document, &error)) << c.name;
        EXPECT_FALSE(error.isEmpty()) << c.name;
    }
}

TEST(AppcastParser, RefusesAFeedOverTheSizeLimitAndAcceptsOneJustUnder)
{
    const QByteArray empty = feed("");
    QByteArray padded = empty;
    padded.insert(padded.indexOf("<channel>") + 9, "<!--" + QByteArray(AppcastParser::maximumFeedSize - empty.size() - 7, 'x') + "-->");
    ASSERT_EQ(padded.size(), AppcastParser::maximumFeedSize);
    EXPECT_TRUE(AppcastParser::parse(padded));
    QString error;
    EXPECT_FALSE(AppcastParser::parse(padded + ' ', &error));
    EXPECT_TRUE(error.contains(QStringLiteral("larger"))) << error.toStdString();
}

TEST(AppcastParser, KeepsFeedOrderAndEmptyChannels)
{
    const std::optional<Appcast> none = AppcastParser::parse(feed(""));
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->items.isEmpty());

    QByteArray items;
    for (int i = 0; i < 5; ++i)
        items += "<item><sparkle:version>" + QByteArray::number(5 - i) + "</sparkle:version></item>";
    const std::optional<Appcast> five = AppcastParser::parse(feed(items));
    ASSERT_TRUE(five);
    ASSERT_EQ(five->items.size(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(five->items[i].versionString, QString::number(5 - i));
}
