#include "Rendering.h"

#include "core/Log.h"
#include "ui/icons/FAText.h"
#include "ui/icons/IconFont.h"
#include "ui/icons/IconList.h"

#include "TestEnvironment.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPalette>

#include <gtest/gtest.h>

#include <memory>

namespace {

int logLinesContaining(const QString& text)
{
    return int(TestEnvironment::readFile(Log::shared().currentFilePath()).count(text));
}

QRect drawnBounds(const QImage& image)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

struct NamedIcon
{
    const char* name;
    char32_t codePoint;
};

} // namespace

TEST(IconList, TheProgramsIconNamesHaveTheirSolidCodePoints)
{
    // The names the window uses, with the code points Font Awesome 5 gives them.
    const NamedIcon icons[] = {{"history", 0xf1da},     {"ban", 0xf05e},          {"user-lock", 0xf502},
                               {"eye", 0xf06e},         {"cog", 0xf013},          {"stethoscope", 0xf0f1},
                               {"question-circle", 0xf059}, {"times", 0xf00d},    {"user", 0xf007},
                               {"check-circle", 0xf058}, {"times-circle", 0xf057}, {"check", 0xf00c}};
    const IconList& list = IconList::shared();
    for (const NamedIcon& icon : icons) {
        const auto codePoint = list.codePoint(QString::fromLatin1(icon.name));
        ASSERT_TRUE(codePoint.has_value()) << icon.name;
        EXPECT_EQ(*codePoint, icon.codePoint) << icon.name;
    }
    // Brand icons have no solid form; "eye" has a regular one as well.
    EXPECT_FALSE(list.codePoint(QStringLiteral("500px")).has_value());
    EXPECT_EQ(list.codePoint(QStringLiteral("500px"), QStringLiteral("brands")), char32_t(0xf26e));
    EXPECT_EQ(list.styles(QStringLiteral("eye")), QStringList({QStringLiteral("solid"), QStringLiteral("regular")}));
    EXPECT_FALSE(list.codePoint(QString()).has_value());
}

TEST(IconList, EverySolidIconIsInTheFont)
{
    const QFontMetricsF metrics(IconFont::font(16));
    const IconList& list = IconList::shared();
    int solid = 0;
    for (const QString& name : list.names()) {
        if (const auto codePoint = list.codePoint(name)) {
            ++solid;
            EXPECT_TRUE(metrics.inFontUcs4(*codePoint)) << name.toStdString();
        }
    }
    EXPECT_GT(solid, 900);
}

TEST(IconList, MalformedDocumentsGiveEmptyOrPartialLists)
{
    struct Case
    {
        const char* json;
        qsizetype count;
    };
    const Case cases[] = {
        {"", 0},
        {"not json", 0},
        {"[1, 2]", 0},
        {R"({"icons": []})", 0},
        {R"({"icons": {"a": {"unicode": "zz", "styles": ["solid"]}, "b": {"unicode": "f00c", "styles": ["solid"]}}})", 1},
        {R"({"icons": {"a": {"unicode": "110000", "styles": ["solid"]}, "b": {"styles": ["solid"]}}})", 0},
        {R"({"icons": {"a": "f00c"}})", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IconList::fromJson(c.json).count(), c.count) << c.json;
    EXPECT_EQ(IconList::fromJson(cases[4].json).codePoint(QStringLiteral("b")), char32_t(0xf00c));
}

TEST(IconFont, LoadsTheSolidFace)
{
    ASSERT_TRUE(IconFont::load());
    const QFontInfo info(IconFont::font(12));
    EXPECT_EQ(info.family(), QStringLiteral("Font Awesome 5 Free"));
    EXPECT_EQ(info.styleName(), QStringLiteral("Solid"));
    EXPECT_EQ(info.pixelSize(), 12);
}

TEST(FAText, DrawsAKnownGlyphInItsColourWithinItsBox)
{
    const QColor red(220, 20, 60);
    for (const qreal size : {12.0, 16.0, 20.0}) {
        FAText text(QStringLiteral("check-circle"), size);
        text.setColor(red);
        ASSERT_TRUE(text.hasGlyph());
        text.resize(text.sizeHint());
        const QImage image = Rendering::renderTransparent(&text);

        EXPECT_GT(Rendering::countPixels(image, image.rect(), [&](QRgb p) { return Rendering::near(p, red, 1); }),
                  int(size * size / 3))
            << size;
        // Antialiased edges keep the colour, only the alpha falls.
        EXPECT_EQ(Rendering::countPixels(image, image.rect(),
                                         [&](QRgb p) {
                                             const QColor c = QColor::fromRgba(p);
                                             return c.alpha() > 64 && !Rendering::near(qRgb(c.red(), c.green(), c.blue()), red, 8);
                                         }),
                  0);
        // The circle fills the box's height, and the box cuts nothing off: with room to
        // spare around it the same pixels are drawn.
        EXPECT_GE(drawnBounds(image).height(), int(size * 0.8)) << size;
        text.resize(text.sizeHint() + QSize(20, 20));
        const QImage roomy = Rendering::renderTransparent(&text);
        const auto drawn = [](QRgb p) { return qAlpha(p) > 0; };
        EXPECT_NEAR(Rendering::countPixels(roomy, roomy.rect(), drawn),
                    Rendering::countPixels(image, image.rect(), drawn), size / 2)
            << size;
    }
}

TEST(FAText, TakesTheForegroundColourOfItsParent)
{
    std::unique_ptr<QWidget> parent(new QWidget);
    QPalette palette = parent->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 200, 0));
    parent->setPalette(palette);
    auto* layout = new QHBoxLayout(parent.get());
    auto* text = new FAText(QStringLiteral("history"), 20);
    layout->addWidget(text);
    Rendering::grab(parent.get());
    const QImage image = Rendering::renderTransparent(text);
    EXPECT_GT(Rendering::countPixels(image, image.rect(), [](QRgb p) { return Rendering::near(p, QColor(0, 200, 0), 1); }),
              50);
}

TEST(FAText, UnknownNameDrawsNothingAndIsLoggedOnce)
{
    FAText first(QStringLiteral("no-such-icon"), 20);
    FAText second(QStringLiteral("no-such-icon"), 12);
    EXPECT_FALSE(first.hasGlyph());
    EXPECT_TRUE(FAText::pixmap(QStringLiteral("no-such-icon"), 16, Qt::black).isNull());
    EXPECT_TRUE(FAText::icon(QStringLiteral("no-such-icon"), 16, Qt::black).isNull());
    first.setColor(Qt::black);
    first.resize(40, 40);
    const QImage image = Rendering::renderTransparent(&first);
    EXPECT_EQ(Rendering::countPixels(image, image.rect(), [](QRgb p) { return qAlpha(p) > 0; }), 0);
    EXPECT_EQ(first.sizeHint().width(), 0);

    // A brand icon has no solid glyph either; it is reported under its own name.
    FAText brand(QStringLiteral("500px"), 12);
    EXPECT_FALSE(brand.hasGlyph());

    EXPECT_EQ(logLinesContaining(QStringLiteral("\"no-such-icon\"")), 1);
    EXPECT_EQ(logLinesContaining(QStringLiteral("\"500px\"")), 1);
    EXPECT_EQ(logLinesContaining(QStringLiteral("\"check\"")), 0);
}

TEST(FAText, SwitchingTheNameRedrawsAndResizes)
{
    FAText text(QStringLiteral("no-such-icon"), 16);
    EXPECT_EQ(text.sizeHint().width(), 0);
    text.setIconName(QStringLiteral("check-circle"));
    EXPECT_TRUE(text.hasGlyph());
    EXPECT_GT(text.sizeHint().width(), 10);
    const QSize small = text.sizeHint();
    text.setIconSize(32);
    EXPECT_GT(text.sizeHint().width(), small.width());
    EXPECT_GT(text.sizeHint().height(), small.height());
}

TEST(FAText, PixmapsAreTransparentAroundTheGlyph)
{
    const QPixmap pixmap = FAText::pixmap(QStringLiteral("times"), 16, Qt::white, 2.0);
    ASSERT_FALSE(pixmap.isNull());
    EXPECT_EQ(pixmap.devicePixelRatio(), 2.0);
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_GT(Rendering::countPixels(image, image.rect(), [](QRgb p) { return Rendering::near(p, Qt::white, 1); }), 50);
    EXPECT_FALSE(FAText::icon(QStringLiteral("times"), 16, Qt::white).isNull());
}
