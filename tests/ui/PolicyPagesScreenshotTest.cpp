#include "Rendering.h"

#include "core/LoadingModel.h"
#include "core/SessionObservableObject.h"
#include "ui/ContentView.h"
#include "ui/Fonts.h"
#include "ui/MainView.h"
#include "ui/pages/MyBlockedSitesView.h"
#include "ui/pages/RelaxedPolicyView.h"
#include "ui/pages/TimeRestrictionBar.h"
#include "ui/pages/TimeRestrictionProgressBarView.h"
#include "ui/pages/TimeRestrictionsView.h"
#include "ui/styles/LinkButtonStyle.h"
#include "ui/styles/Styles.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

QString screenshotPath(const char* file)
{
    const QString folder = QStringLiteral(NORVANE_BINARY_DIR "/screenshots");
    EXPECT_TRUE(QDir().mkpath(folder));
    return folder + QLatin1Char('/') + QString::fromLatin1(file);
}

QRect inView(const QWidget* widget, const QWidget* view)
{
    return QRect(widget->mapTo(view, QPoint(0, 0)), widget->size());
}

TimeRestrictionModel restricted(bool enabled, const QStringList& enabledThrough)
{
    TimeRestrictionModel model;
    model.RestrictionsEnabled = enabled;
    model.EnabledThrough = enabledThrough;
    const auto intervals = TimeRestrictionModel::intervalsFrom(enabledThrough);
    model.intervals = intervals ? intervals.value() : QList<Interval>();
    return model;
}

// The signed-in window content showing one page, on realistic data.
class PolicyScreenshot : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Fonts::install();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        session.setIsLoggedIn(true);
        session.setMyBlockedSites({QStringLiteral("reddit.com"), QStringLiteral("tiktok.com"),
                                   QStringLiteral("instagram.com"), QStringLiteral("news.example.org/politics")});
        TimeRestrictionMap week;
        for (const char* name : {"monday", "tuesday", "thursday", "friday"})
            week.insert(QString::fromLatin1(name), restricted(true, {"7.00", "21.30"}));
        week.insert(QStringLiteral("wednesday"), restricted(true, {"7.00", "11.00", "13.00", "24.00"}));
        week.insert(QStringLiteral("saturday"), restricted(false, {"8.00", "23.00"}));
        week.insert(QStringLiteral("sunday"), restricted(true, {"10.00", "10.00"}));
        session.setTimeRestrictions(week);
        session.setBypassesPermitted(3);
        session.setBypassDuration(90);
        TimeRestrictionProgressBarView::setClock([] { return QDateTime(QDate(2024, 5, 15), QTime(12, 0)); });
    }

    void TearDown() override { TimeRestrictionProgressBarView::setClock({}); }

    template <typename Page> Page* show(MainViewTabs tab)
    {
        view = std::make_unique<ContentView>(&session, &loading);
        view->resize(1000, 700);
        view->show();
        session.setSelectedMainPage(tab);
        QApplication::processEvents();
        return qobject_cast<Page*>(view->findChild<MainView*>()->detail());
    }

    SessionObservableObject session;
    LoadingModel loading;
    std::unique_ptr<ContentView> view;
};

} // namespace

TEST_F(PolicyScreenshot, MyBlockedSites)
{
    auto* page = show<MyBlockedSitesView>(MainViewTabs::myBlockedSites);
    ASSERT_NE(page, nullptr);
    page->findChild<QLineEdit*>(QStringLiteral("siteField"))->setText(QStringLiteral("casino.example"));
    const QImage image = Rendering::grab(view.get());
    ASSERT_TRUE(image.save(screenshotPath("my-blocked-sites.png")));

    // The column: 400 wide, centred on the page, the title centred above the add row.
    auto* column = page->findChild<QWidget*>(QStringLiteral("column"));
    const QRect columnRect = inView(column, view.get());
    const QRect pageRect = inView(page, view.get());
    EXPECT_EQ(columnRect.width(), 400);
    EXPECT_LE(std::abs(columnRect.center().x() - pageRect.center().x()), 1);
    auto* title = page->findChild<QLabel*>(QStringLiteral("title"));
    EXPECT_EQ(title->font().pixelSize(), 20);
    EXPECT_LE(std::abs(inView(title, view.get()).center().x() - columnRect.center().x()), 1);
    auto* add = page->findChild<QPushButton*>(QStringLiteral("addButton"));
    const QRect addRect = inView(add, view.get());
    EXPECT_EQ(addRect.right(), columnRect.right());
    EXPECT_TRUE(Rendering::near(image.pixel(addRect.left() + 6, addRect.center().y()), Styles::accentColor(), 0));
    EXPECT_TRUE(Rendering::near(image.pixel(addRect.left(), addRect.center().y()), Qt::black, 0));
    // Rows top to bottom in the list's order, flush left in the column.
    int previous = addRect.bottom();
    for (const QString& site : session.myBlockedSites()) {
        QLabel* row = nullptr;
        for (QLabel* candidate : page->findChildren<QLabel*>(QStringLiteral("siteRow")))
            if (candidate->text() == site)
                row = candidate;
        ASSERT_NE(row, nullptr);
        const QRect rect = inView(row, view.get());
        EXPECT_GT(rect.top(), previous);
        EXPECT_EQ(rect.left(), columnRect.left());
        previous = rect.bottom();
    }
    // The link at the foot of the column, in the link colour.
    auto* link = page->findChild<QPushButton*>(QStringLiteral("advancedSettingsLink"));
    const QRect linkRect = inView(link, view.get());
    EXPECT_GT(linkRect.top(), pageRect.bottom() - 60);
    EXPECT_GT(Rendering::countPixels(image, linkRect,
                                     [](QRgb pixel) { return Rendering::near(pixel, LinkButtonStyle::linkColor(), 60); }),
              10);
}

TEST_F(PolicyScreenshot, TimeRestrictions)
{
    auto* page = show<TimeRestrictionsView>(MainViewTabs::timeRestrictions);
    ASSERT_NE(page, nullptr);
    const QImage image = Rendering::grab(view.get());
    ASSERT_TRUE(image.save(screenshotPath("time-restrictions.png")));

    ASSERT_EQ(page->rows().size(), 7);
    for (TimeRestrictionProgressBarView* row : page->rows()) {
        SCOPED_TRACE(row->day().toStdString());
        TimeRestrictionBar* bar = row->bar();
        const QRect barRect = inView(bar, view.get());
        const int centreY = barRect.top() + bar->height() / 2;
        // The day label 120 wide at the left, the caption 255 wide (15 of padding) at the right.
        EXPECT_EQ(row->findChild<QLabel*>(QStringLiteral("dayLabel"))->width(), 120);
        EXPECT_EQ(row->captionLabel()->width(), 255);
        // The track where no period lies, accent where one does.
        for (int i = 0; i < row->intervals().size(); ++i) {
            const std::optional<QRectF> segment = bar->segmentRect(i);
            ASSERT_TRUE(segment.has_value());
            if (segment->width() < 4)
                continue;
            const int x = barRect.left() + int(segment->center().x());
            EXPECT_TRUE(Rendering::near(image.pixel(x, centreY + 3), TimeRestrictionBar::accentColor(), 1));
        }
    }
    // Sunday is restricted all day: only the gray track, at 30 % on white.
    TimeRestrictionProgressBarView* sunday = page->rows().at(6);
    const QRect sundayBar = inView(sunday->bar(), view.get());
    QColor track = TimeRestrictionBar::gray();
    track.setRedF(1 - 0.3 * (1 - track.redF()));
    track.setGreenF(1 - 0.3 * (1 - track.greenF()));
    track.setBlueF(1 - 0.3 * (1 - track.blueF()));
    EXPECT_TRUE(Rendering::near(image.pixel(sundayBar.left() + 20, sundayBar.top() + 10), track, 2));

    // Wednesday noon: the marker's triangles at half the width, in gray, above and below.
    TimeRestrictionProgressBarView* wednesday = page->rows().at(2);
    ASSERT_TRUE(wednesday->arrowsVisible());
    const QRect barRect = inView(wednesday->bar(), view.get());
    const int markerX = barRect.left() + int(wednesday->bar()->markerX());
    EXPECT_LE(std::abs(markerX - barRect.center().x()), 1);
    EXPECT_TRUE(Rendering::near(image.pixel(markerX, barRect.top() + 5), TimeRestrictionBar::gray(), 30));
    EXPECT_TRUE(Rendering::near(image.pixel(markerX, barRect.top() + 16), TimeRestrictionBar::gray(), 30));
    EXPECT_EQ(wednesday->captionLabel()->text(), QStringLiteral("Internet allowed\n07:00 - 11:00\n13:00 - 23:59"));
}

TEST_F(PolicyScreenshot, RelaxedPolicy)
{
    session.setBypassEnabled(true);
    auto* page = show<RelaxedPolicyView>(MainViewTabs::relaxedPolicy);
    ASSERT_NE(page, nullptr);
    const QImage image = Rendering::grab(view.get());
    ASSERT_TRUE(image.save(screenshotPath("relaxed-policy.png")));

    EXPECT_EQ(page->findChild<QLabel*>(QStringLiteral("usesAvailableValue"))->text(), QStringLiteral("3"));
    EXPECT_EQ(page->findChild<QLabel*>(QStringLiteral("timePermittedValue"))->text(), QStringLiteral("01:30"));
    auto* usesLabel = page->findChild<QLabel*>(QStringLiteral("usesAvailableLabel"));
    auto* timeLabel = page->findChild<QLabel*>(QStringLiteral("timePermittedLabel"));
    EXPECT_GE(usesLabel->width(), 100);
    EXPECT_EQ(usesLabel->width(), timeLabel->width());
    EXPECT_EQ(inView(page->findChild<QLabel*>(QStringLiteral("usesAvailableValue")), view.get()).left(),
              inView(page->findChild<QLabel*>(QStringLiteral("timePermittedValue")), view.get()).left());
    const QRect pageRect = inView(page, view.get());
    int previous = inView(page->findChild<QLabel*>(QStringLiteral("title")), view.get()).bottom();
    for (const char* name : {"explanation", "enabledText", "usesAvailableLabel", "timePermittedLabel", "useButton",
                             "relinquishButton", "editLink"}) {
        auto* widget = page->findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_TRUE(widget->isVisible()) << name;
        const QRect rect = inView(widget, view.get());
        EXPECT_GT(rect.top(), previous) << name;
        previous = rect.bottom();
    }
    for (const char* name : {"useButton", "relinquishButton"}) {
        const QRect rect = inView(page->findChild<QWidget*>(QString::fromLatin1(name)), view.get());
        EXPECT_LE(std::abs(rect.center().x() - pageRect.center().x()), 1) << name;
        EXPECT_TRUE(Rendering::near(image.pixel(rect.left() + 6, rect.center().y()), Styles::accentColor(), 0)) << name;
    }
}
