#include "Rendering.h"
#include "UrlCatcher.h"

#include "core/LoadingModel.h"
#include "core/SessionObservableObject.h"
#include "ui/ContentView.h"
#include "ui/Fonts.h"
#include "ui/MainView.h"
#include "ui/pages/TimeRestrictionBar.h"
#include "ui/pages/TimeRestrictionProgressBarView.h"
#include "ui/pages/TimeRestrictionsView.h"
#include "ui/pages/TimeTickView.h"

#include "ManagementServerPeer.h"

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>

namespace {

using Row = TimeRestrictionProgressBarView;

TimeRestrictionModel day(bool enabled, const QStringList& enabledThrough)
{
    TimeRestrictionModel model;
    model.RestrictionsEnabled = enabled;
    model.EnabledThrough = enabledThrough;
    const auto intervals = TimeRestrictionModel::intervalsFrom(enabledThrough);
    model.intervals = intervals ? intervals.value() : QList<Interval>();
    return model;
}

// The page in the signed-in window, at a fixed time chosen per test.
class TimeRestrictionsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Fonts::install();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        setNow(QDateTime(QDate(2024, 5, 15), QTime(12, 0))); // a Wednesday
    }

    void TearDown() override
    {
        view.reset();
        settle();
        Row::setClock({});
        Row::setTimerInterval(Row::defaultTimerInterval);
    }

    void setNow(const QDateTime& now)
    {
        clockNow = now;
        Row::setClock([this] { return clockNow; });
    }

    TimeRestrictionsView* open()
    {
        session.setIsLoggedIn(true);
        view = std::make_unique<ContentView>(&session, &loading);
        view->resize(1000, 700);
        view->show();
        session.setSelectedMainPage(MainViewTabs::timeRestrictions);
        settle();
        page = qobject_cast<TimeRestrictionsView*>(view->findChild<MainView*>()->detail());
        return page;
    }

    static void settle()
    {
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
    }

    QList<Row*> rows() const { return page->rows(); }
    QList<Row*> rowsWithMarker() const
    {
        QList<Row*> marked;
        for (Row* row : rows())
            if (row->arrowsVisible() && row->bar()->isMarkerShown())
                marked.append(row);
        return marked;
    }

    QDateTime clockNow;
    SessionObservableObject session;
    LoadingModel loading;
    std::unique_ptr<ContentView> view;
    QPointer<TimeRestrictionsView> page;
};

} // namespace

TEST_F(TimeRestrictionsTest, CaptionsForEachKindOfDay)
{
    struct Case
    {
        const char* name;
        bool enabled;
        QList<Interval> intervals;
        QString caption;
    };
    const std::vector<Case> cases = {
        {"not enabled, with a period", false, {{480, 1020}}, QStringLiteral("Internet allowed all day")},
        {"not enabled, nothing", false, {}, QStringLiteral("Internet allowed all day")},
        {"the whole day", true, {{0, 1440}}, QStringLiteral("Internet allowed all day")},
        {"a period of no length", true, {{600, 600}}, QStringLiteral("Internet restricted all day")},
        {"midnight to midnight", true, {{0, 0}}, QStringLiteral("Internet restricted all day")},
        {"one period", true, {{480, 1020}}, QStringLiteral("Internet allowed\n08:00 - 17:00\n")},
        {"two periods to the end of the day", true, {{480, 720}, {780, 1440}},
         QStringLiteral("Internet allowed\n08:00 - 12:00\n13:00 - 23:59\n")},
        {"two periods of the whole day", true, {{0, 1440}, {0, 1440}},
         QStringLiteral("Internet allowed\n00:00 - 23:59\n00:00 - 23:59\n")},
        {"no periods", true, {}, QStringLiteral("Internet allowed\n")},
        {"out of range, clamped", true, {{-30, 1500}}, QStringLiteral("Internet allowed\n00:00 - 23:59\n")},
        {"eight and a half is eight oh five", true, {{485, 555}}, QStringLiteral("Internet allowed\n08:05 - 09:15\n")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Row::scheduleCaption(c.enabled, c.intervals), c.caption) << c.name;

    // The user's own time format.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(Row::scheduleCaption(true, {{480, 720}, {780, 1440}}),
              QStringLiteral("Internet allowed\n8:00 AM - 12:00 PM\n1:00 PM - 11:59 PM\n"));
    EXPECT_EQ(Row::timeString(1500), QStringLiteral("11:59 PM"));
}

TEST_F(TimeRestrictionsTest, EmptyRestrictionsShowSevenFullBarsAllowedAllDay)
{
    ASSERT_NE(open(), nullptr);
    ASSERT_EQ(rows().size(), 7);
    const QStringList days{"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
    int previousBottom = -1;
    for (int i = 0; i < 7; ++i) {
        Row* row = rows().at(i);
        SCOPED_TRACE(days.at(i).toStdString());
        EXPECT_EQ(row->day(), days.at(i));
        EXPECT_EQ(row->findChild<QLabel*>(QStringLiteral("dayLabel"))->text(), days.at(i));
        EXPECT_FALSE(row->enabled());
        EXPECT_EQ(row->intervals(), (QList<Interval>{{0, 1440}}));
        EXPECT_EQ(row->captionLabel()->text(), QStringLiteral("Internet allowed all day"));
        EXPECT_EQ(row->captionLabel()->toolTip(), QStringLiteral("Internet allowed all day"));
        EXPECT_GE(row->height(), Row::rowHeight);
        EXPECT_GT(row->y(), previousBottom);
        previousBottom = row->geometry().bottom();
        const std::optional<QRectF> segment = row->bar()->segmentRect(0);
        ASSERT_TRUE(segment.has_value());
        EXPECT_DOUBLE_EQ(segment->left(), 0);
        EXPECT_DOUBLE_EQ(segment->width(), row->bar()->width());
    }
    EXPECT_EQ(page->findChild<QLabel*>(QStringLiteral("notEnabledText"))->text(),
              QStringLiteral("Time Restrictions not enabled. Click \"Edit\" below to set the up"));
}

TEST_F(TimeRestrictionsTest, RowsShowTheirDayAndFollowTheSession)
{
    ASSERT_NE(open(), nullptr);
    TimeRestrictionMap restrictions;
    restrictions.insert(QStringLiteral("monday"), day(false, {"8.00", "17.00"}));
    restrictions.insert(QStringLiteral("tuesday"), day(true, {"10.00", "10.00"}));
    restrictions.insert(QStringLiteral("wednesday"), day(true, {"8.00", "12.00", "13.00", "24.00"}));
    restrictions.insert(QStringLiteral("Thursday"), day(true, {"1.00", "2.00"})); // not a day's key
    session.setTimeRestrictions(restrictions);

    Row* monday = rows().at(0);
    EXPECT_EQ(monday->captionLabel()->text(), QStringLiteral("Internet allowed all day"));
    // The bar still shows the period, 8:00 to 17:00.
    const qreal width = monday->bar()->width();
    const std::optional<QRectF> segment = monday->bar()->segmentRect(0);
    ASSERT_TRUE(segment.has_value());
    EXPECT_DOUBLE_EQ(segment->left(), 480.0 / 1440 * width);
    EXPECT_DOUBLE_EQ(segment->width(), 540.0 / 1440 * width);
    EXPECT_DOUBLE_EQ(segment->height(), 8);

    Row* tuesday = rows().at(1);
    EXPECT_EQ(tuesday->captionLabel()->text(), QStringLiteral("Internet restricted all day"));
    EXPECT_DOUBLE_EQ(tuesday->bar()->segmentRect(0)->width(), 0);

    Row* wednesday = rows().at(2);
    EXPECT_EQ(wednesday->captionLabel()->text(), QStringLiteral("Internet allowed\n08:00 - 12:00\n13:00 - 23:59"));
    EXPECT_EQ(wednesday->captionLabel()->toolTip(), QStringLiteral("Internet allowed\n08:00 - 12:00\n13:00 - 23:59\n"));

    // A day missing from the data (or under another spelling) is allowed all day.
    Row* thursday = rows().at(3);
    EXPECT_FALSE(thursday->enabled());
    EXPECT_EQ(thursday->intervals(), (QList<Interval>{{0, 1440}}));

    // Hovering a period shows its times; the gap between periods shows nothing.
    TimeRestrictionBar* bar = wednesday->bar();
    const int y = bar->height() / 2 + 3;
    QHelpEvent inPeriod(QEvent::ToolTip, QPoint(int(bar->width() * 0.9), y), bar->mapToGlobal(QPoint(0, y)));
    QApplication::sendEvent(bar, &inPeriod);
    EXPECT_TRUE(inPeriod.isAccepted());
    EXPECT_EQ(QToolTip::text(), QStringLiteral("13:00 - 23:59"));
    QHelpEvent inGap(QEvent::ToolTip, QPoint(int(bar->width() * 750 / 1440), y), bar->mapToGlobal(QPoint(0, y)));
    QApplication::sendEvent(bar, &inGap);
    EXPECT_FALSE(inGap.isAccepted());
    EXPECT_EQ(bar->accessibleDescription(), QStringLiteral("08:00 - 12:00, 13:00 - 23:59, now 12:00"));

    UrlCatcher browser;
    QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("editLink")), Qt::LeftButton);
    ASSERT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(browser.opened.first().path(), QStringLiteral("/Velmora/user"));
    EXPECT_EQ(browser.opened.first().query(), QStringLiteral("tab=time-restrictions"));
}

TEST_F(TimeRestrictionsTest, TheMarkerStandsOnTodaysRowOnly)
{
    struct Case
    {
        QDateTime now;
        int row;
        qreal fraction;
    };
    const std::vector<Case> cases = {
        {QDateTime(QDate(2024, 5, 19), QTime(12, 0)), 6, 0.5},   // Sunday: the last row
        {QDateTime(QDate(2024, 5, 20), QTime(12, 0)), 0, 0.5},   // Monday: the first row
        {QDateTime(QDate(2024, 5, 20), QTime(0, 0)), 0, 0.0},
        {QDateTime(QDate(2024, 5, 24), QTime(18, 0, 59)), 4, 0.75},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.now.toString().toStdString());
        setNow(c.now);
        ASSERT_NE(open(), nullptr);
        const QList<Row*> marked = rowsWithMarker();
        ASSERT_EQ(marked.size(), 1);
        EXPECT_EQ(marked.first(), rows().at(c.row));
        TimeRestrictionBar* bar = marked.first()->bar();
        EXPECT_DOUBLE_EQ(bar->markerX(), c.fraction * bar->width());
        // The apexes meet one point above the bar's centre line, one triangle above, one below.
        const qreal centre = bar->height() / 2.0;
        EXPECT_DOUBLE_EQ(bar->upperTriangleFrame().bottom(), centre - 1);
        EXPECT_DOUBLE_EQ(bar->lowerTriangleFrame().top(), centre - 1);
        EXPECT_DOUBLE_EQ(bar->upperTriangleFrame().center().x(), bar->markerX());
        EXPECT_EQ(bar->upperTriangleFrame().size(), QSizeF(10, 10));
        EXPECT_EQ(bar->lowerTriangleFrame().size(), QSizeF(10, 10));
    }
}

TEST_F(TimeRestrictionsTest, RowTimersRunOnlyOnScreenAndMoveTheMarker)
{
    Row::setTimerInterval(std::chrono::milliseconds(40));
    setNow(QDateTime(QDate(2024, 5, 20), QTime(6, 0)));
    ASSERT_NE(open(), nullptr);
    for (Row* row : rows()) {
        EXPECT_TRUE(row->timer()->isActive());
        EXPECT_EQ(row->timer()->timerType(), Qt::PreciseTimer);
    }
    Row* monday = rows().first();
    const qreal width = monday->bar()->width();

    setNow(QDateTime(QDate(2024, 5, 20), QTime(12, 0)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return monday->minutesSinceStartOfDay() == 720; }, 5000));
    EXPECT_DOUBLE_EQ(monday->bar()->markerX(), width / 2);
    setNow(QDateTime(QDate(2024, 5, 20), QTime(18, 0)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return monday->minutesSinceStartOfDay() == 1080; }, 5000));
    EXPECT_DOUBLE_EQ(monday->bar()->markerX(), width * 3 / 4);

    // Past midnight the marker moves on to the new day.
    setNow(QDateTime(QDate(2024, 5, 21), QTime(0, 1)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows().at(1)->arrowsVisible(); }, 5000));
    EXPECT_EQ(rowsWithMarker(), QList<Row*>{rows().at(1)});

    view->hide();
    for (Row* row : rows())
        EXPECT_FALSE(row->timer()->isActive());
    const QDateTime frozen = rows().at(1)->currentDateTime();
    setNow(QDateTime(QDate(2024, 5, 21), QTime(9, 0)));
    QTest::qWait(200);
    EXPECT_EQ(rows().at(1)->currentDateTime(), frozen);

    // Another page in the detail column: this one is gone with its timers.
    view->show();
    settle();
    for (Row* row : rows())
        EXPECT_TRUE(row->timer()->isActive());
    session.setSelectedMainPage(MainViewTabs::blockHistory);
    settle();
    EXPECT_TRUE(page.isNull());
    EXPECT_TRUE(view->findChildren<QTimer*>(QStringLiteral("timer")).isEmpty());
}

TEST(TimeRestrictionsTime, DaylightSavingGapsAndRepeatsResolveToAnExistingTime)
{
    qputenv("TZ", "Europe/Berlin");
    tzset();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    QDateTime now;
    Row::setClock([&] { return now; });

    // 31 March 2024: the clocks go from 02:00 to 03:00.
    now = QDateTime(QDate(2024, 3, 31), QTime(12, 0));
    ASSERT_TRUE(now.isValid());
    EXPECT_EQ(Row::timeString(119), QStringLiteral("01:59"));
    EXPECT_EQ(Row::timeString(120), QStringLiteral("03:00"));
    EXPECT_EQ(Row::timeString(150), QStringLiteral("03:00"));
    EXPECT_EQ(Row::timeString(179), QStringLiteral("03:00"));
    EXPECT_EQ(Row::timeString(180), QStringLiteral("03:00"));
    EXPECT_EQ(Row::scheduleCaption(true, {{0, 150}, {150, 1440}}),
              QStringLiteral("Internet allowed\n00:00 - 03:00\n03:00 - 23:59\n"));
    // On that day noon still stands at the middle of the bar: wall-clock minutes.
    Row row(Day::sunday, {});
    EXPECT_EQ(row.minutesSinceStartOfDay(), 720);

    // 27 October 2024: 02:00 to 03:00 happens twice; the time reads as it is.
    now = QDateTime(QDate(2024, 10, 27), QTime(12, 0));
    EXPECT_EQ(Row::timeString(150), QStringLiteral("02:30"));
    // Any other day knows no gap.
    now = QDateTime(QDate(2024, 3, 30), QTime(12, 0));
    EXPECT_EQ(Row::timeString(150), QStringLiteral("02:30"));
    Row::setClock({});
}

TEST(TimeTickViewTest, TheScaleMarksTheDayUnderTheBar)
{
    Fonts::install();
    TimeScaleView scale;
    scale.resize(440, scale.sizeHint().height());
    scale.show();
    QApplication::processEvents();
    ASSERT_EQ(scale.ticks().size(), 3);
    QStringList texts;
    for (TimeTickView* tick : scale.ticks()) {
        texts.append(tick->text());
        EXPECT_EQ(tick->accessibleName(), tick->text());
        EXPECT_DOUBLE_EQ(tick->tickHeight(), 7);
        EXPECT_EQ(tick->font().pixelSize(), 12);
    }
    EXPECT_EQ(texts, (QStringList{"00:00", "12:00", "24:00"}));
    EXPECT_EQ(scale.ticks().at(0)->x(), scale.barLeft() - 16);
    EXPECT_LE(std::abs(scale.ticks().at(1)->geometry().center().x() - (scale.barLeft() + scale.barWidth() / 2)), 1);
    EXPECT_EQ(scale.ticks().at(2)->geometry().right() + 1, scale.barLeft() + scale.barWidth() + 16);
    EXPECT_EQ(scale.markPositions(), (QList<int>{scale.barLeft() + 100, scale.barLeft() + 300}));
}
