#include "Rendering.h"
#include "UrlCatcher.h"

#include "control/AppDelegate.h"
#include "core/ApiClient.h"
#include "core/LoadingModel.h"
#include "core/Log.h"
#include "platform/DateFormatter.h"
#include "platform/UserDefaults.h"
#include "ui/ContentView.h"
#include "ui/Fonts.h"
#include "ui/components/Divider.h"
#include "ui/pages/BlockHistoryRow.h"
#include "ui/pages/BlockHistoryView.h"
#include "ui/styles/SecondaryButtonStyle.h"
#include "ui/styles/Styles.h"

#include "LogEntries.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

// The page as the signed-in window shows it, fed by the application delegate, which keeps
// the newest fifty blocked requests.
class BlockHistoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Fonts::install();
        UserDefaults::standard().setString(QStringLiteral("userEmail"), QStringLiteral("kim+test@example.org"));
        delegate.sessionModel()->setIsLoggedIn(true);
        view = std::make_unique<ContentView>(delegate.sessionModel(), &loading);
        view->resize(1000, 700);
        view->show();
        settle();
        page = view->findChild<BlockHistoryView*>(QStringLiteral("BlockHistoryView"));
        ASSERT_NE(page, nullptr);
    }

    static void settle()
    {
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
    }

    void block(const QString& url, const QString& category, const QString& trigger = QString())
    {
        delegate.addBlockedUrl(url, category, trigger);
        settle();
    }

    BlockHistoryRow* row(int index) const { return page->rows().value(index); }

    QStringList shownUrls() const
    {
        QStringList urls;
        for (BlockHistoryRow* shown : page->rows()) {
            EXPECT_TRUE(shown->isVisible());
            urls.append(shown->urlText());
        }
        return urls;
    }

    QList<int> highlightedRows() const
    {
        QList<int> rows;
        for (int i = 0; i < page->rows().size(); ++i)
            if (page->rows().at(i)->isSelected())
                rows.append(i);
        return rows;
    }

    void clickRequestReview()
    {
        QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("requestReviewButton")), Qt::LeftButton);
        settle();
    }

    // A secondary click on the row opens its menu; returns the menu that came up.
    QMenu* openMenuOn(BlockHistoryRow* target)
    {
        // Through the window, as the platform delivers it, so the toolkit makes the
        // context-menu event out of the secondary button itself.
        QWindow* window = target->window()->windowHandle();
        QTest::mouseClick(window, Qt::RightButton, {}, target->mapTo(target->window(), target->rect().center()));
        settle();
        return page->contextMenu();
    }

    void choose(QMenu* menu, const QString& item)
    {
        for (QAction* action : menu->actions())
            if (action->text() == item) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                settle();
                return;
            }
        ADD_FAILURE() << "no menu item " << item.toStdString();
    }

    static QString reviewAddress(const QString& query) { return ApiClient::unblockRequestUrl() + query; }

    UrlCatcher browser;
    AppDelegate delegate;
    LoadingModel loading;
    std::unique_ptr<ContentView> view;
    BlockHistoryView* page = nullptr;
};

qreal measured(const QString& text)
{
    return QFontMetricsF(QApplication::font()).horizontalAdvance(text);
}

} // namespace

TEST_F(BlockHistoryTest, ShowsItsTextsAndAnEmptyTableWithOnlyItsHeader)
{
    auto* title = page->findChild<QLabel*>(QStringLiteral("title"));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), QStringLiteral("Block History"));
    EXPECT_EQ(title->font().pixelSize(), 20);
    EXPECT_EQ(title->font().weight(), QFont::Normal);
    auto* help = page->findChild<QLabel*>(QStringLiteral("helpText"));
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->text(), QStringLiteral("Request review of a blocked URL by selecting an item and then click Request "
                                           "Review.\nRight-click an item to copy the URL"));
    for (const auto& [name, text] : {std::pair{"categoryHeader", "CATEGORY"}, std::pair{"dateHeader", "DATE BLOCKED"},
                                     std::pair{"requestHeader", "REQUEST"}}) {
        auto* header = page->findChild<QLabel*>(QString::fromLatin1(name));
        ASSERT_NE(header, nullptr) << name;
        EXPECT_EQ(header->accessibleName(), QString::fromLatin1(text));
        EXPECT_EQ(header->text(), QString::fromLatin1(text)) << "the header fits its column";
        EXPECT_EQ(header->font().weight(), QFont::DemiBold);
        EXPECT_EQ(header->height(), 30);
    }
    auto* button = page->findChild<QPushButton*>(QStringLiteral("requestReviewButton"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QStringLiteral("request review"));
    EXPECT_EQ(button->style(), SecondaryButtonStyle::shared());
    // At the right edge of the page, inside its 5-pixel side and 10-pixel bottom padding.
    EXPECT_EQ(button->mapTo(page, QPoint(button->width(), button->height())), QPoint(page->width() - 5, page->height() - 10));

    EXPECT_TRUE(page->rows().isEmpty());
    EXPECT_FALSE(page->selectedRow().has_value());
    clickRequestReview();
    EXPECT_TRUE(browser.opened.isEmpty());
}

TEST_F(BlockHistoryTest, ColumnsAreMeasuredFromTheSampleWhenEmptyAndFromTheCategoriesTimesOnePointTwo)
{
    EXPECT_EQ(page->testModel().category, QStringLiteral("Test category one two"));
    EXPECT_EQ(page->testModel().textTrigger, QString());
    EXPECT_EQ(page->categoryColumnWidth(), measured(QStringLiteral("Test category one two")));
    const qreal dateWidth = measured(DateFormatter::shortStyle(page->testModel().dateTime)) * 1.2;
    EXPECT_DOUBLE_EQ(page->dateColumnWidth(), dateWidth);

    block(QStringLiteral("https://a.example/"), QStringLiteral("Ads"));
    block(QStringLiteral("https://b.example/"), QStringLiteral("Adult & Mature Content"));
    const qreal categoryWidth = measured(QStringLiteral("Adult & Mature Content")) * 1.2;
    EXPECT_DOUBLE_EQ(page->categoryColumnWidth(), categoryWidth);
    EXPECT_DOUBLE_EQ(page->dateColumnWidth(), dateWidth) << "the date column follows the sample only";

    // Header and rows share the columns: the labels' widths and the dividers' positions.
    auto* header = page->findChild<QWidget*>(QStringLiteral("headerRow"));
    ASSERT_NE(header, nullptr);
    const int category = int(std::ceil(categoryWidth));
    const int date = int(std::ceil(dateWidth));
    EXPECT_EQ(page->findChild<QLabel*>(QStringLiteral("categoryHeader"))->geometry(),
              BlockHistoryRow::categoryRect(category, 30));
    EXPECT_EQ(page->findChild<QLabel*>(QStringLiteral("dateHeader"))->geometry(),
              BlockHistoryRow::dateRect(category, date, 30));
    QList<int> headerDividers;
    for (Divider* divider : header->findChildren<Divider*>())
        headerDividers.append(divider->x());
    EXPECT_EQ(headerDividers, BlockHistoryRow::dividerPositions(category, date));
    EXPECT_EQ(row(0)->mapTo(page, QPoint(0, 0)).x(), header->mapTo(page, QPoint(0, 0)).x());
    EXPECT_EQ(row(0)->width(), header->width());

    const QImage image = Rendering::grab(row(0));
    for (const int x : BlockHistoryRow::dividerPositions(category, date))
        EXPECT_TRUE(Rendering::near(image.pixel(x, 12), QColor(229, 229, 229))) << x;
}

TEST_F(BlockHistoryTest, RowsAreNewestFirstAndTheFifthyFirstEventDropsTheOldest)
{
    for (int i = 0; i < 50; ++i)
        delegate.addBlockedUrl(QStringLiteral("https://site%1.example/").arg(i), QStringLiteral("Category %1").arg(i),
                               QString());
    settle();
    ASSERT_EQ(page->rows().size(), 50);
    QStringList expected;
    for (int i = 49; i >= 0; --i)
        expected.append(QStringLiteral("https://site%1.example/").arg(i));
    EXPECT_EQ(shownUrls(), expected);
    const auto list = delegate.sessionModel()->blockedUrls();
    EXPECT_EQ(row(0)->entry().id, list.last().id);
    EXPECT_EQ(row(0)->categoryText(), QStringLiteral("Category 49"));
    EXPECT_EQ(row(0)->dateText(), DateFormatter::shortStyle(list.last().dateTime));
    EXPECT_EQ(row(0)->height(), 25);
    EXPECT_EQ(row(1)->y() - row(0)->geometry().bottom() - 1, BlockHistoryView::rowSpacing);
    // Fifty rows need the scroll bar; the header's address column still lies over the rows'.
    auto* requestHeader = page->findChild<QLabel*>(QStringLiteral("requestHeader"));
    const QRect addressColumn =
        BlockHistoryRow::requestRect(int(std::ceil(page->categoryColumnWidth())),
                                     int(std::ceil(page->dateColumnWidth())), row(0)->width(), row(0)->height());
    EXPECT_EQ(requestHeader->mapTo(page, QPoint(0, 0)).x(), row(0)->mapTo(page, addressColumn.topLeft()).x());
    EXPECT_EQ(requestHeader->width(), addressColumn.width());

    block(QStringLiteral("https://newest.example/"), QStringLiteral("Gambling"), QStringLiteral("poker"));
    ASSERT_EQ(page->rows().size(), 50);
    expected.removeLast();
    expected.prepend(QStringLiteral("https://newest.example/"));
    EXPECT_EQ(shownUrls(), expected);
    EXPECT_EQ(page->findChildren<BlockHistoryRow*>().size(), 50);
}

TEST_F(BlockHistoryTest, AClickSelectsTheRowByIdAndHighlightsOnlyIt)
{
    // Two entries with the same texts are separate rows.
    block(QStringLiteral("https://same.example/"), QStringLiteral("Proxy"));
    block(QStringLiteral("https://same.example/"), QStringLiteral("Proxy"));
    block(QStringLiteral("https://other.example/"), QStringLiteral("Ads"));
    ASSERT_EQ(page->rows().size(), 3);
    EXPECT_TRUE(highlightedRows().isEmpty());

    QTest::mouseClick(row(2), Qt::LeftButton);
    settle();
    ASSERT_TRUE(page->selectedRow().has_value());
    EXPECT_EQ(page->selectedRow()->id, row(2)->entry().id);
    EXPECT_EQ(highlightedRows(), QList<int>{2});

    QTest::mouseClick(row(2), Qt::LeftButton);
    settle();
    EXPECT_EQ(highlightedRows(), QList<int>{2}) << "clicking the selected row keeps it selected";

    const auto whitePixels = [](const QImage& image) {
        return Rendering::countPixels(image, image.rect(), [](QRgb p) { return Rendering::near(p, Qt::white, 10); });
    };
    const auto blackPixels = [](const QImage& image) {
        return Rendering::countPixels(image, image.rect(), [](QRgb p) { return Rendering::near(p, Qt::black, 60); });
    };
    const QImage selected = Rendering::grab(row(2));
    EXPECT_TRUE(Rendering::near(selected.pixel(2, 2), Styles::accentColor()));
    EXPECT_GT(whitePixels(selected), 20) << "white text on the accent";
    EXPECT_EQ(blackPixels(selected), 0);
    const QImage plain = Rendering::grab(row(1));
    EXPECT_TRUE(Rendering::near(plain.pixel(2, 2), Qt::white));
    EXPECT_GT(blackPixels(plain), 20) << "black text on the page ground";

    // A new event moves the rows down; the selection follows its entry.
    block(QStringLiteral("https://newer.example/"), QStringLiteral("Ads"));
    EXPECT_EQ(highlightedRows(), QList<int>{3});
}

TEST_F(BlockHistoryTest, ContextMenuSelectsTheEntryThenCopiesOrRequestsItsReview)
{
    block(QStringLiteral("https://one.example/"), QStringLiteral("Gambling"));
    block(QStringLiteral("https://two.example/page"), QStringLiteral("Adult & Mature Content"), QStringLiteral("bad word"));
    block(QStringLiteral("https://three.example/"), QStringLiteral("Ads"));
    QTest::mouseClick(row(0), Qt::LeftButton);
    settle();

    QMenu* menu = openMenuOn(row(1));
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    QStringList items;
    for (const QAction* action : menu->actions())
        items.append(action->text());
    EXPECT_EQ(items, (QStringList{QStringLiteral("Request review"), QStringLiteral("Copy")}));
    EXPECT_EQ(highlightedRows(), QList<int>{0}) << "opening the menu alone selects nothing";
    choose(menu, QStringLiteral("Copy"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("https://two.example/page"));
    EXPECT_EQ(highlightedRows(), QList<int>{1});
    EXPECT_EQ(page->contextMenu(), nullptr);
    EXPECT_TRUE(browser.opened.isEmpty());

    menu = openMenuOn(row(2));
    ASSERT_NE(menu, nullptr);
    choose(menu, QStringLiteral("Request review"));
    EXPECT_EQ(highlightedRows(), QList<int>{2});
    ASSERT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(browser.opened.first().toString(QUrl::FullyEncoded),
              reviewAddress(QStringLiteral("&category_name=Gambling&blocked_request=aHR0cHM6Ly9vbmUuZXhhbXBsZS8=&trigger=")));
}

TEST_F(BlockHistoryTest, RequestReviewOpensTheUnblockAddressOfTheSelection)
{
    struct Case
    {
        const char* name;
        QString url;
        QString category;
        QString trigger;
        QString query;
    };
    const Case cases[] = {
        {"spaces and an ampersand in the category, a trigger", QStringLiteral("https://casino.example/play"),
         QStringLiteral("Adult & Mature Content"), QStringLiteral("bad word"),
         QStringLiteral("&category_name=Adult%20&%20Mature%20Content&blocked_request=aHR0cHM6Ly9jYXNpbm8uZXhhbXBsZS9wbGF5"
                        "&trigger=YmFkIHdvcmQ=")},
        {"an empty trigger", QStringLiteral("https://casino.example/play"), QStringLiteral("Gambling"), QString(),
         QStringLiteral("&category_name=Gambling&blocked_request=aHR0cHM6Ly9jYXNpbm8uZXhhbXBsZS9wbGF5&trigger=")},
        {"plus, slash and padding in the Base64 of the URL", QStringLiteral("https://abc.example/~~~?~"),
         QStringLiteral("Proxy"), QStringLiteral("~~~?~"),
         QStringLiteral("&category_name=Proxy&blocked_request=aHR0cHM6Ly9hYmMuZXhhbXBsZS9+fn4/fg==&trigger=fn5+P34=")},
        {"host characters kept, others encoded per UTF-8 byte", QStringLiteral("https://x.example/"),
         QStringLiteral("Café [18+]; a=b/c?"), QString(),
         QStringLiteral("&category_name=Caf%C3%A9%20[18+];%20a=b%2Fc%3F&blocked_request=aHR0cHM6Ly94LmV4YW1wbGUv&trigger=")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        browser.opened.clear();
        block(c.url, c.category, c.trigger);
        QTest::mouseClick(row(0), Qt::LeftButton);
        clickRequestReview();
        ASSERT_EQ(browser.opened.size(), 1);
        EXPECT_EQ(browser.opened.first().toString(QUrl::FullyEncoded), reviewAddress(c.query));
    }
    EXPECT_TRUE(reviewAddress(QString()).contains(QStringLiteral("?user_id=kim+test@example.org&device_name=")));
}

TEST_F(BlockHistoryTest, ADroppedSelectionIsNoLongerHighlightedButStillReviewed)
{
    for (int i = 0; i < 50; ++i)
        delegate.addBlockedUrl(QStringLiteral("https://site%1.example/").arg(i), QStringLiteral("Ads"), QString());
    settle();
    QTest::mouseClick(row(49), Qt::LeftButton);
    settle();
    ASSERT_EQ(page->selectedRow()->url, QStringLiteral("https://site0.example/"));

    block(QStringLiteral("https://newest.example/"), QStringLiteral("Ads"));
    EXPECT_TRUE(highlightedRows().isEmpty());
    clickRequestReview();
    ASSERT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(browser.opened.first().toString(QUrl::FullyEncoded),
              reviewAddress(QStringLiteral("&category_name=Ads&blocked_request=aHR0cHM6Ly9zaXRlMC5leGFtcGxlLw==&trigger=")));
}

TEST_F(BlockHistoryTest, AnAddressThatIsNoURLIsNotOpenedAndTheSelectionStays)
{
    UserDefaults::standard().setString(QStringLiteral("userEmail"), QStringLiteral("kim smith@example.org"));
    block(QStringLiteral("https://one.example/"), QStringLiteral("Ads"));
    QTest::mouseClick(row(0), Qt::LeftButton);
    clickRequestReview();
    EXPECT_TRUE(browser.opened.isEmpty());
    EXPECT_EQ(highlightedRows(), QList<int>{0});
    bool logged = false;
    for (const QString& entry : LogEntries::read(Log::shared().currentFilePath()))
        logged = logged || entry.startsWith(QStringLiteral("BlockHistoryView: the unblock request address is not a URL"));
    EXPECT_TRUE(logged);
}
