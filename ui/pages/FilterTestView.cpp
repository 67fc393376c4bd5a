#include "ui/pages/FilterTestView.h"

#include "control/AppDelegate.h"
#include "core/ApiClient.h"
#include "core/HttpSession.h"
#include "platform/Deployment.h"
#include "platform/MainQueue.h"
#include "platform/SerialQueue.h"
#include "ui/Fonts.h"
#include "ui/Network.h"
#include "ui/components/Divider.h"
#include "ui/pages/FilterTestRow.h"
#include "ui/pages/RequestFailureLog.h"
#include "ui/styles/ButtonStyle.h"
#include "ui/styles/PrimaryButtonStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QStringDecoder>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString blockingTestName = QStringLiteral("Blocking Test");
const QString upAndRunning = QStringLiteral("Your filter is up and running!");
const QString didNotBlock = QStringLiteral(
    "Your filter did not block the test site. Please reboot to see if that fixes the problem.");
const QString unexpectedError =
    QStringLiteral("Unexpected error occurred. Check your internet connection and try again");
const QString noResponse =
    QStringLiteral("No response detected from test site. Check your internet connection and try again");

// Without an application delegate (a page shown on its own) the resolutions still need a
// thread of their own; it lives as long as the process, like the delegate's.
SerialQueue& fallbackQueue()
{
    static auto* queue = new SerialQueue(QStringLiteral("AppDelegate queue"));
    return *queue;
}

SerialQueue& resolutionQueue(SerialQueue* given)
{
    if (given)
        return *given;
    if (AppDelegate* delegate = AppDelegate::current()) {
        if (SerialQueue* queue = delegate->queue())
            return *queue;
    }
    return fallbackQueue();
}

// Undecodable bytes count as no text at all.
QString strictUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

QLabel* headerText(const QString& text, int width)
{
    auto* label = new QLabel(text);
    label->setFont(Fonts::system(FilterTestRow::textSize));
    label->setFixedWidth(width);
    label->setAlignment(Qt::AlignCenter);
    label->setAccessibleName(text.trimmed().isEmpty() ? QObject::tr("Result") : text);
    return label;
}

QPushButton* testButton(const QString& text, const char* objectName)
{
    auto* button = new QPushButton(text);
    button->setObjectName(QLatin1String(objectName));
    button->setAccessibleName(text);
    PrimaryButtonStyle::apply(button);
    return button;
}

// The labels share one width: 100, or the widest label where the font needs more.
void giveLabelsOneWidth(const QList<QPushButton*>& buttons)
{
    int width = FilterTestView::buttonLabelWidth;
    for (QPushButton* button : buttons)
        width = std::max(width, button->fontMetrics().horizontalAdvance(button->text()));
    for (QPushButton* button : buttons)
        button->setFixedWidth(ButtonStyle::sizeForLabel(QSize(width, 0)).width());
}

// The message on as few lines as fit a reasonable width, not wrapped to the button's.
void widenMessage(QMessageBox* alert)
{
    constexpr int widest = 420;
    if (auto* message = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        message->setMinimumWidth(
            std::min(widest, message->fontMetrics().horizontalAdvance(message->text()) + 2));
}

FilterTestResult comparison(const QString& testName, const QString& firstHost, const QString& secondHost,
                            const QString& passedMessage, const QString& failedMessage)
{
    const bool passed = FilterTestView::sameAddress(firstHost, secondHost);
    return FilterTestResult{passed, testName, passed ? passedMessage : failedMessage};
}

FilterTestResult safeSearch(const QString& testName, const QString& prefix, const QString& ordinaryHost,
                            const QString& enforcedHost)
{
    const bool passed = FilterTestView::sameAddress(ordinaryHost, enforcedHost);
    return FilterTestResult{passed, testName, FilterTestView::safeSearchMessage(prefix, passed)};
}

} // namespace

FilterTestView::FilterTestView(SerialQueue* queue, QWidget* parent)
    : QWidget(parent), m_queue(queue), m_testFilterButton(testButton(tr("test filter"), "testFilterButton")),
      m_testDnsButton(testButton(tr("test dns"), "testDnsButton")),
      m_testSafeSearchButton(testButton(tr("test safe search"), "testSafeSearchButton")),
      m_rowList(new QWidget), m_rowLayout(new QVBoxLayout(m_rowList))
{
    setObjectName(QStringLiteral("FilterTestView"));

    auto* title = new QLabel(tr("Filter Tests"));
    title->setObjectName(QStringLiteral("title"));
    title->setFont(Fonts::system(titleSize));
    title->setAccessibleName(title->text());
    title->setContentsMargins(0, 0, 0, spacing);

    giveLabelsOneWidth({m_testFilterButton, m_testDnsButton, m_testSafeSearchButton});
    connect(m_testFilterButton, &QPushButton::clicked, this, &FilterTestView::testFilter);
    connect(m_testDnsButton, &QPushButton::clicked, this, &FilterTestView::testDns);
    connect(m_testSafeSearchButton, &QPushButton::clicked, this, &FilterTestView::testSafeSearch);
    auto* buttons = new QVBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(spacing);
    buttons->addWidget(m_testFilterButton, 0, Qt::AlignHCenter);
    buttons->addWidget(m_testDnsButton, 0, Qt::AlignHCenter);
    buttons->addWidget(m_testSafeSearchButton, 0, Qt::AlignHCenter);
    buttons->addStretch(1);

    auto* headerRow = new QWidget;
    headerRow->setObjectName(QStringLiteral("headerRow"));
    headerRow->setFixedHeight(headerHeight);
    auto* header = new QHBoxLayout(headerRow);
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(FilterTestRow::spacing);
    header->addWidget(headerText(QStringLiteral(" "), FilterTestRow::iconWidth));
    header->addWidget(new Divider(Qt::Vertical));
    header->addWidget(headerText(QStringLiteral("PASSED"), FilterTestRow::statusWidth));
    header->addWidget(new Divider(Qt::Vertical));
    header->addWidget(headerText(QStringLiteral("TEST"), FilterTestRow::nameWidth));
    header->addWidget(new Divider(Qt::Vertical));
    header->addWidget(headerText(QStringLiteral("..."), FilterTestRow::detailsWidth));

    m_rowList->setObjectName(QStringLiteral("rowList"));
    m_rowLayout->setContentsMargins(0, 0, 0, 0);
    m_rowLayout->setSpacing(0);
    m_rowLayout->addStretch(1);
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("resultScrollArea"));
    scroll->setAccessibleName(tr("Test results"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->setWidget(m_rowList);
    scroll->viewport()->setAutoFillBackground(false);
    m_rowList->setAutoFillBackground(false);

    auto* table = new QVBoxLayout;
    table->setContentsMargins(0, 0, 0, 0);
    table->setSpacing(0);
    table->addWidget(headerRow, 0, Qt::AlignHCenter);
    table->addWidget(new Divider(Qt::Horizontal));
    table->addWidget(scroll, 1);

    auto* columns = new QHBoxLayout;
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(spacing);
    columns->addStretch(1);
    columns->addLayout(buttons);
    columns->addLayout(table);
    columns->addStretch(1);

    auto* page = new QVBoxLayout(this);
    page->setSpacing(spacing);
    page->addWidget(title, 0, Qt::AlignHCenter);
    page->addLayout(columns, 1);
}

FilterTestView::~FilterTestView() = default;

void FilterTestView::testFilter()
{
    const QUrl url(QStringLiteral("https://") + Deployment::filterTestHost());
    const QPointer<FilterTestView> self(this);
    ApiClient::session().get(url)->validate().responseString(
        [self, marker = Deployment::filterTestMarker()](const DataResponse<QString>& reply) {
            if (self)
                self->setTestResults({});
            const FilterTestResult result = blockingTestResult(reply, marker);
            if (self)
                self->append(result);
        });
}

void FilterTestView::testDns()
{
    setTestResults({});
    runResolution([dnsHost = Deployment::dnsTestHost(),
                   blockPageHost = Deployment::blockPageHost()](const auto& deliver) {
        deliver(comparison(QStringLiteral("Dns Test"), dnsHost, blockPageHost,
                           QStringLiteral("DNS filtering is currently active on your computer."),
                           QStringLiteral("DNS filtering is not currently active on your computer.")));
    });
}

void FilterTestView::testSafeSearch()
{
    setTestResults({});
    runResolution([google = Deployment::googleHost(), googleSafe = Deployment::googleSafeSearchHost(),
                   bing = Deployment::bingHost(), bingStrict = Deployment::bingStrictHost(),
                   youtube = Deployment::youtubeHost(),
                   youtubeModerate = Deployment::youtubeModerateHost()](const auto& deliver) {
        deliver(safeSearch(QStringLiteral("Google Safe Search Test"),
                           QStringLiteral("Google safe search is "), google, googleSafe));
        deliver(safeSearch(QStringLiteral("Bing Search Test"), QStringLiteral("Bing safe search is "), bing,
                           bingStrict));
        deliver(safeSearch(QStringLiteral("Youtube Restriction Moderate Test"),
                           QStringLiteral("Youtube moderate restrictions is "), youtube, youtubeModerate));
    });
}

void FilterTestView::runResolution(
    std::function<void(const std::function<void(const FilterTestResult&)>&)> work)
{
    const QPointer<FilterTestView> self(this);
    resolutionQueue(m_queue).async([self, work = std::move(work)] {
        work([self](const FilterTestResult& result) {
            MainQueue::async([self, result] {
                if (self)
                    self->append(result);
            });
        });
    });
}

void FilterTestView::showDetails(const FilterTestResult& result)
{
    m_alertMessage = result.testMessage;
    m_showAlert = true;
    if (m_alert) {
        m_alert->setInformativeText(m_alertMessage);
        widenMessage(m_alert);
        return;
    }
    auto* alert = new QMessageBox(this);
    alert->setObjectName(QStringLiteral("detailsAlert"));
    alert->setIcon(QMessageBox::NoIcon);
    alert->setWindowTitle(tr("Details"));
    alert->setText(tr("Details"));
    alert->setInformativeText(m_alertMessage);
    alert->setStandardButtons(QMessageBox::Ok);
    if (auto* titleLabel = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont font = titleLabel->font();
        font.setBold(true);
        titleLabel->setFont(font);
    }
    widenMessage(alert);
    connect(alert, &QDialog::finished, this, &FilterTestView::alertFinished);
    m_alert = alert;
    // Window-modal without a nested event loop: results still arrive while it is shown.
    alert->open();
}

void FilterTestView::alertFinished()
{
    m_showAlert = false;
    if (m_alert)
        m_alert->deleteLater();
    m_alert = nullptr;
}

FilterTestResult FilterTestView::blockingTestResult(const DataResponse<QString>& reply, const QString& marker)
{
    FilterTestResult result{false, blockingTestName, QString()};
    if (reply.error) {
        RequestFailureLog::write(*reply.error);
        if (reply.data.isEmpty()) {
            result.testMessage = unexpectedError;
            return result;
        }
        result.passed = strictUtf8(reply.data).contains(marker);
    } else {
        if (!reply.value) {
            result.testMessage = noResponse;
            return result;
        }
        result.passed = reply.value->contains(marker);
    }
    result.testMessage = result.passed ? upAndRunning : didNotBlock;
    return result;
}

bool FilterTestView::sameAddress(const QString& firstHost, const QString& secondHost)
{
    const QString first = Network::resolveHost(firstHost);
    const QString second = Network::resolveHost(secondHost);
    return !first.isEmpty() && first == second;
}

QString FilterTestView::safeSearchMessage(const QString& prefix, bool passed)
{
    return prefix + (passed ? QString() : QStringLiteral("not ")) + QStringLiteral("enabled.");
}

void FilterTestView::setTestResults(const QList<FilterTestResult>& results)
{
    m_testResults = results;
    for (FilterTestRow* row : std::as_const(m_rows))
        delete row;
    m_rows.clear();
    for (const FilterTestResult& result : results)
        addRow(result);
}

void FilterTestView::append(const FilterTestResult& result)
{
    m_testResults.append(result);
    addRow(result);
}

void FilterTestView::addRow(const FilterTestResult& result)
{
    auto* row = new FilterTestRow(result);
    connect(row, &FilterTestRow::detailsRequested, this, &FilterTestView::showDetails);
    m_rowLayout->insertWidget(m_rowLayout->count() - 1, row);
    m_rows.append(row);
}
