#include "ui/pages/FilterTestView.h"
#include "control/AppDelegate.h"
#include "core/Log.h"
#include "platform/HostResolver.h"
#include "platform/MainQueue.h"
#include "ui/Fonts.h"
#include "ui/icons/FAText.h"
#include "ui/pages/FilterTestRow.h"

#include "LogEntries.h"
#include "ManagementServerPeer.h"
#include "QtTestPrinters.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

// Refused by the resolver without a query leaving the machine: the first label is longer
// than DNS allows.
const QString unresolvable = QString(64, QLatin1Char('x')) + QStringLiteral(".invalid");

const QString upAndRunning = QStringLiteral("Your filter is up and running!");
const QString didNotBlock = QStringLiteral(
    "Your filter did not block the test site. Please reboot to see if that fixes the problem.");
const QString unexpectedError =
    QStringLiteral("Unexpected error occurred. Check your internet connection and try again");

void setHost(const char* variable, const QString& host)
{
    qputenv(variable, host.toUtf8());
}

ManagementServerPeer::Answer answer(int status, const QByteArray& body, const QString& contentType)
{
    ManagementServerPeer::Answer scripted;
    scripted.status = status;
    scripted.body = body;
    scripted.contentType = contentType;
    return scripted;
}

QStringList logEntries()
{
    return LogEntries::read(Log::shared().currentFilePath());
}

// Lets lookups of names ending in ".hangs.test" hang until released; every other name goes
// to the system resolver.
class HangingResolver
{
public:
    HangingResolver()
    {
        HostResolver::setLookup([gate = m_gate](const QByteArray& name) {
            if (!name.endsWith(".hangs.test"))
                return HostResolver::systemLookup(name);
            std::unique_lock lock(gate->mutex);
            ++gate->waiting;
            gate->changed.notify_all();
            gate->changed.wait(lock, [&] { return gate->open; });
            return HostResolver::systemLookup("localhost");
        });
    }
    ~HangingResolver()
    {
        release();
        HostResolver::setLookup({});
    }
    int waiting() const
    {
        std::lock_guard lock(m_gate->mutex);
        return m_gate->waiting;
    }
    void release()
    {
        {
            std::lock_guard lock(m_gate->mutex);
            m_gate->open = true;
        }
        m_gate->changed.notify_all();
    }

private:
    // Shared with the resolver threads, which may outlive this object.
    struct Gate
    {
        std::mutex mutex;
        std::condition_variable changed;
        int waiting = 0;
        bool open = false;
    };
    std::shared_ptr<Gate> m_gate = std::make_shared<Gate>();
};

class FilterTestViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Fonts::install();
        page = std::make_unique<FilterTestView>(delegate.queue());
        page->resize(800, 500);
        page->show();
    }

    QList<FilterTestResult> waitForResults(qsizetype count)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return page->testResults().size() >= count; }, 20000))
            << "only " << page->testResults().size() << " of " << count << " results";
        return page->testResults();
    }

    // Runs the blocking test and waits for its one row (the reply clears the list first,
    // the earlier rows with it).
    FilterTestResult runBlockingTest()
    {
        QList<QPointer<FilterTestRow>> earlier;
        for (FilterTestRow* row : page->rows())
            earlier.append(row);
        page->testFilter();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return std::all_of(earlier.cbegin(), earlier.cend(),
                                   [](const auto& row) { return row.isNull(); }) &&
                       page->testResults().size() == 1 &&
                       page->testResults().first().testName == QLatin1String("Blocking Test");
            },
            20000));
        return page->testResults().value(0);
    }

    AppDelegate delegate;
    std::unique_ptr<FilterTestView> page;
};

} // namespace

TEST_F(FilterTestViewTest, BlockingTestReadsTheMarkerWhateverTheStatus)
{
    ManagementServerPeer server;
    ASSERT_TRUE(server.isRunning());
    setHost("NORVANE_FILTER_TEST_HOST", server.host());
    struct Case
    {
        int status;
        bool marker;
        bool passed;
        QString message;
        QStringList failureLines;
    };
    const auto statusLines = [](int status) {
        return QStringList{
            QStringLiteral("Response validation failed: Response status code was unacceptable: %1.")
                .arg(status),
            QStringLiteral("Failure Reason: unacceptableStatusCode(code: %1)").arg(status),
            QStringLiteral("Response status code was unacceptable: %1").arg(status)};
    };
    const Case cases[] = {
        {200, true, true, upAndRunning, {}},
        {403, true, true, upAndRunning, statusLines(403)},
        {200, false, false, didNotBlock, {}},
        {500, false, false, didNotBlock, statusLines(500)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.status << (c.marker ? " with" : " without") << " the marker");
        ASSERT_TRUE(server.setFilterTestPage(c.status, c.marker));
        const qsizetype logged = logEntries().size();
        const FilterTestResult result = runBlockingTest();
        EXPECT_EQ(result.passed, c.passed);
        EXPECT_EQ(result.testMessage, c.message);
        const QStringList lines = logEntries().mid(logged);
        for (const QString& line : c.failureLines) {
            EXPECT_TRUE(lines.contains(line)) << line.toStdString() << "\nlogged:\n"
                                              << lines.join(QLatin1Char('\n')).toStdString();
        }
        if (c.failureLines.isEmpty()) {
            EXPECT_FALSE(lines.join(QLatin1Char('\n')).contains(QStringLiteral("failed")))
                << lines.join(QLatin1Char('\n')).toStdString();
        }
    }
    // "https://" and the host, nothing else: the page at the root.
    const QList<ManagementServerPeer::RecordedRequest> requests = server.requests(QStringLiteral("/"));
    ASSERT_EQ(requests.size(), 4);
    EXPECT_EQ(requests.first().method, QStringLiteral("GET"));
    EXPECT_TRUE(requests.first().query.isEmpty());
}

TEST_F(FilterTestViewTest, BlockingTestBodiesThatSayNothing)
{
    ManagementServerPeer server;
    ASSERT_TRUE(server.isRunning());
    setHost("NORVANE_FILTER_TEST_HOST", server.host());
    const QByteArray marker = "NorvaneFilterTestMarker";
    struct Case
    {
        const char* name;
        ManagementServerPeer::Answer answer;
        QString message;
        QString failureLine;
    };
    const Case cases[] = {
        // Bytes that are not UTF-8 count as no text, marker or not.
        {"undecodable error page", answer(403, QByteArray("\xff\xfe ") + marker, QStringLiteral("text/html")),
         didNotBlock, QStringLiteral("Failure Reason: unacceptableStatusCode(code: 403)")},
        {"empty page", answer(200, QByteArray(), QStringLiteral("text/html")), unexpectedError,
         QStringLiteral(
             "Response serialization failed: Response could not be serialized, input data was nil or "
             "zero length.")},
        {"no content", answer(204, QByteArray(), QString()), didNotBlock, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(server.script(QStringLiteral("/"), c.answer, true));
        const qsizetype logged = logEntries().size();
        const FilterTestResult result = runBlockingTest();
        EXPECT_FALSE(result.passed);
        EXPECT_EQ(result.testMessage, c.message);
        if (!c.failureLine.isEmpty()) {
            EXPECT_TRUE(logEntries().mid(logged).contains(c.failureLine))
                << logEntries().mid(logged).join(QLatin1Char('\n')).toStdString();
        }
    }
}

TEST_F(FilterTestViewTest, BlockingTestWithoutAServerOrWithAnUntrustedOne)
{
    // Nothing listens on the test environment's port.
    FilterTestResult result = runBlockingTest();
    EXPECT_FALSE(result.passed);
    EXPECT_EQ(result.testMessage, unexpectedError);
    QStringList lines = logEntries();
    EXPECT_TRUE(lines.filter(QStringLiteral("sessionTaskFailed: ")).size() == 1)
        << lines.join('\n').toStdString();

    // A server whose certificate nobody trusts: the handshake ends before any body.
    ManagementServerPeer untrusted(false);
    ASSERT_TRUE(untrusted.isRunning());
    setHost("NORVANE_FILTER_TEST_HOST", untrusted.host());
    result = runBlockingTest();
    EXPECT_FALSE(result.passed);
    EXPECT_EQ(result.testMessage, unexpectedError);
    lines = logEntries();
    EXPECT_EQ(lines.filter(QStringLiteral("serverTrustEvaluationFailed: ")).size(), 1)
        << lines.join('\n').toStdString();
}

TEST_F(FilterTestViewTest, TheListIsClearedWhenTheBlockingReplyArrivesNotWhenPressed)
{
    page->testDns();
    ASSERT_EQ(waitForResults(1).first().testName, QStringLiteral("Dns Test"));
    QTest::mouseClick(page->testFilterButton(), Qt::LeftButton);
    EXPECT_EQ(page->testResults().size(), 1);
    EXPECT_EQ(page->testResults().first().testName, QStringLiteral("Dns Test"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return page->testResults().value(0).testName == QLatin1String("Blocking Test"); }, 20000));
    EXPECT_EQ(page->testResults().size(), 1);
    EXPECT_EQ(page->rows().size(), 1);
}

TEST_F(FilterTestViewTest, DnsTestComparesTheFirstAddresses)
{
    struct Case
    {
        QString dnsHost;
        QString blockPageHost;
        bool passed;
    };
    const Case cases[] = {
        {QStringLiteral("localhost"), QStringLiteral("localhost"), true},
        {QStringLiteral("localhost"), QStringLiteral("127.0.0.1"), true},
        {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2"), false},
        {QStringLiteral("localhost"), unresolvable, false},
        {unresolvable, QStringLiteral("localhost"), false},
        // Two failures are not an agreement.
        {unresolvable, unresolvable, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.dnsHost + QStringLiteral(" / ") + c.blockPageHost).toStdString());
        setHost("NORVANE_DNS_TEST_HOST", c.dnsHost);
        setHost("NORVANE_BLOCK_PAGE_HOST", c.blockPageHost);
        QTest::mouseClick(page->testDnsButton(), Qt::LeftButton);
        EXPECT_TRUE(page->testResults().isEmpty()) << "cleared when pressed";
        const QList<FilterTestResult> results = waitForResults(1);
        ASSERT_EQ(results.size(), 1);
        EXPECT_EQ(results.first().testName, QStringLiteral("Dns Test"));
        EXPECT_EQ(results.first().passed, c.passed);
        EXPECT_EQ(results.first().testMessage,
                  c.passed ? QStringLiteral("DNS filtering is currently active on your computer.")
                           : QStringLiteral("DNS filtering is not currently active on your computer."));
    }
    const QStringList lines = logEntries();
    EXPECT_TRUE(lines.contains(QStringLiteral("Host: 127.0.0.2")));
    EXPECT_TRUE(lines.contains(QStringLiteral("ip: 127.0.0.2")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Host: ") + unresolvable));
}

TEST_F(FilterTestViewTest, SafeSearchGivesThreeRowsInProviderOrder)
{
    setHost("NORVANE_GOOGLE_HOST", QStringLiteral("localhost"));
    setHost("NORVANE_GOOGLE_SAFE_SEARCH_HOST", QStringLiteral("127.0.0.1"));
    setHost("NORVANE_BING_HOST", QStringLiteral("localhost"));
    setHost("NORVANE_BING_STRICT_HOST", unresolvable);
    setHost("NORVANE_YOUTUBE_HOST", QStringLiteral("127.0.0.1"));
    setHost("NORVANE_YOUTUBE_MODERATE_HOST", QStringLiteral("127.0.0.2"));
    page->testDns();
    waitForResults(1);

    QTest::mouseClick(page->testSafeSearchButton(), Qt::LeftButton);
    EXPECT_TRUE(page->testResults().isEmpty()) << "cleared when pressed";
    waitForResults(3);
    QTest::qWait(50); // nothing further arrives
    const QList<FilterTestResult> expected{
        {true, QStringLiteral("Google Safe Search Test"), QStringLiteral("Google safe search is enabled.")},
        {false, QStringLiteral("Bing Search Test"), QStringLiteral("Bing safe search is not enabled.")},
        {false, QStringLiteral("Youtube Restriction Moderate Test"),
         QStringLiteral("Youtube moderate restrictions is not enabled.")},
    };
    EXPECT_EQ(page->testResults(), expected);
    ASSERT_EQ(page->rows().size(), 3);
    EXPECT_EQ(page->rows()[0]->icon()->iconName(), QStringLiteral("check"));
    EXPECT_EQ(page->rows()[0]->statusLabel()->text(), QStringLiteral("Passed"));
    EXPECT_EQ(page->rows()[1]->icon()->iconName(), QStringLiteral("times"));
    EXPECT_EQ(page->rows()[1]->statusLabel()->text(), QStringLiteral("Failed"));
    EXPECT_EQ(page->rows()[2]->nameLabel()->text(), QStringLiteral("Youtube Restriction Moderate Test"));
}

TEST_F(FilterTestViewTest, AHangingResolutionLeavesTheWindowWorking)
{
    ManagementServerPeer server;
    ASSERT_TRUE(server.isRunning());
    setHost("NORVANE_FILTER_TEST_HOST", server.host());
    HangingResolver resolver;
    setHost("NORVANE_DNS_TEST_HOST", QStringLiteral("dns.hangs.test"));
    setHost("NORVANE_BLOCK_PAGE_HOST", QStringLiteral("localhost"));

    QTest::mouseClick(page->testDnsButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return resolver.waiting() == 1; }, 10000));
    // The resolution holds the delegate's queue: work queued behind it waits.
    const auto queueFree = std::make_shared<std::atomic<bool>>(false);
    delegate.queue()->async([queueFree] { *queueFree = true; });

    // While the resolution hangs, the window takes clicks, runs timers and gets replies.
    bool timerFired = false;
    QTimer::singleShot(0, [&] { timerFired = true; });
    QTest::mouseClick(page->testFilterButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->testResults().size() == 1; }, 20000));
    EXPECT_TRUE(timerFired);
    EXPECT_EQ(page->testResults().first().testName, QStringLiteral("Blocking Test"));
    EXPECT_FALSE(*queueFree);

    // Results come in the order the tests finish.
    resolver.release();
    waitForResults(2);
    EXPECT_EQ(page->testResults()[1].testName, QStringLiteral("Dns Test"));
    EXPECT_TRUE(page->testResults()[1].passed);
    EXPECT_TRUE(QTest::qWaitFor([&] { return queueFree->load(); }, 10000));
}

TEST_F(FilterTestViewTest, APageClosedDuringAResolutionIsLeftAlone)
{
    HangingResolver resolver;
    setHost("NORVANE_DNS_TEST_HOST", QStringLiteral("dns.hangs.test"));
    page->testDns();
    ASSERT_TRUE(QTest::qWaitFor([&] { return resolver.waiting() == 1; }, 10000));
    page.reset();
    resolver.release();
    // The queue goes on with the next work; the closed page's result went nowhere.
    FilterTestView next(delegate.queue());
    next.testDns();
    ASSERT_TRUE(QTest::qWaitFor([&] { return next.testResults().size() == 1; }, 20000));
    QTest::qWait(50);
    EXPECT_EQ(next.testResults().size(), 1);
}

TEST_F(FilterTestViewTest, DetailsShowsTheRowsMessageUntilDismissed)
{
    setHost("NORVANE_DNS_TEST_HOST", unresolvable);
    page->testDns();
    waitForResults(1);
    ASSERT_EQ(page->rows().size(), 1);
    EXPECT_FALSE(page->showAlert());

    QTest::mouseClick(page->rows().first()->detailsButton(), Qt::LeftButton);
    EXPECT_TRUE(page->showAlert());
    EXPECT_EQ(page->alertMessage(),
              QStringLiteral("DNS filtering is not currently active on your computer."));
    QMessageBox* alert = page->alert();
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_EQ(alert->windowTitle(), QStringLiteral("Details"));
    EXPECT_EQ(alert->informativeText(), page->alertMessage());

    QAbstractButton* dismiss = alert->button(QMessageBox::Ok);
    ASSERT_NE(dismiss, nullptr);
    QTest::mouseClick(dismiss, Qt::LeftButton);
    EXPECT_FALSE(page->showAlert());
    EXPECT_EQ(page->alert(), nullptr);
}

TEST_F(FilterTestViewTest, EveryControlHasAnAccessibleName)
{
    page->testSafeSearch();
    waitForResults(3);
    const QList<QWidget*> widgets = page->findChildren<QWidget*>();
    int controls = 0;
    for (QWidget* widget : widgets) {
        if (!qobject_cast<QAbstractButton*>(widget) && !qobject_cast<QLabel*>(widget) &&
            !qobject_cast<FAText*>(widget))
            continue;
        ++controls;
        EXPECT_FALSE(widget->accessibleName().trimmed().isEmpty())
            << widget->metaObject()->className() << " " << widget->objectName().toStdString();
    }
    // Three buttons, the title, four headers and four widgets in each of three rows.
    EXPECT_EQ(controls, 3 + 1 + 4 + 3 * 4);
    EXPECT_EQ(page->testFilterButton()->accessibleName(), QStringLiteral("test filter"));
    EXPECT_EQ(page->rows()[0]->icon()->accessibleName(), page->rows()[0]->statusLabel()->text());
}
