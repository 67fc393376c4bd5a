#include "ui/pages/BlockHistoryView.h"

#include "core/ApiClient.h"
#include "core/Device.h"
#include "core/Log.h"
#include "core/UrlEncoding.h"
#include "platform/DateFormatter.h"
#include "platform/Workspace.h"
#include "ui/Fonts.h"
#include "ui/components/Divider.h"
#include "ui/pages/BlockHistoryRow.h"
#include "ui/styles/SecondaryButtonStyle.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr int titleSize = 20;
constexpr int titlePadding = 20;
constexpr int helpPadding = 20;
constexpr int helpLineLimit = 5;
const QMargins pagePadding{5, 10, 5, 10};

// Texts are measured as the platform measures a string without attributes: in the
// application's default font.
qreal measuredWidth(const QString& text)
{
    return QFontMetricsF(QApplication::font()).horizontalAdvance(text);
}

int pixels(qreal width)
{
    return int(std::ceil(width));
}

QString base64(const QString& text)
{
    return QString::fromLatin1(text.toUtf8().toBase64());
}

QLabel* headerLabel(const QString& text)
{
    auto* label = new QLabel(text);
    label->setFont(Fonts::system(Fonts::systemSize, QFont::DemiBold));
    label->setAlignment(Qt::AlignCenter);
    label->setAccessibleName(text);
    return label;
}

// A header cut to its column ends in an ellipsis rather than losing both ends.
void fitHeader(QLabel* label, int width)
{
    label->setFixedWidth(width);
    label->setText(label->fontMetrics().elidedText(label->accessibleName(), Qt::ElideRight, width));
}

} // namespace

BlockHistoryView::BlockHistoryView(SessionObservableObject* sessionModel, QWidget* parent)
    : QWidget(parent), m_sessionModel(sessionModel),
      m_testModel(QDateTime::currentDateTime(), QStringLiteral("https://example.com/sample"),
                  QStringLiteral("Test category one two"), QString()),
      m_categoryHeader(headerLabel(QStringLiteral("CATEGORY"))),
      m_dateHeader(headerLabel(QStringLiteral("DATE BLOCKED"))), m_headerRow(new QWidget), m_rowList(new QWidget),
      m_rowLayout(new QVBoxLayout(m_rowList)), m_requestReviewButton(new QPushButton(tr("request review")))
{
    setObjectName(QStringLiteral("BlockHistoryView"));

    auto* title = new QLabel(tr("Block History"));
    title->setObjectName(QStringLiteral("title"));
    title->setFont(Fonts::system(titleSize));

    auto* help = new QLabel(tr("Request review of a blocked URL by selecting an item and then click Request Review.") +
                            QLatin1Char('\n') + tr("Right-click an item to copy the URL"));
    help->setObjectName(QStringLiteral("helpText"));
    help->setWordWrap(true);
    help->setMaximumHeight(helpLineLimit * help->fontMetrics().lineSpacing());
    help->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_headerRow->setObjectName(QStringLiteral("headerRow"));
    m_headerRow->setFixedHeight(headerHeight);
    m_categoryHeader->setObjectName(QStringLiteral("categoryHeader"));
    m_dateHeader->setObjectName(QStringLiteral("dateHeader"));
    QLabel* requestHeader = headerLabel(QStringLiteral("REQUEST"));
    requestHeader->setObjectName(QStringLiteral("requestHeader"));
    requestHeader->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* header = new QHBoxLayout(m_headerRow);
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(BlockHistoryRow::columnSpacing);
    header->addWidget(m_categoryHeader);
    header->addWidget(new Divider(Qt::Vertical));
    header->addWidget(m_dateHeader);
    header->addWidget(new Divider(Qt::Vertical));
    header->addWidget(requestHeader, 1);

    m_rowList->setObjectName(QStringLiteral("rowList"));
    m_rowLayout->setContentsMargins(0, 0, 0, 0);
    m_rowLayout->setSpacing(rowSpacing);
    m_rowLayout->addStretch(1);
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("rowScrollArea"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setWidgetResizable(true);
    scroll->setWidget(m_rowList);
    scroll->viewport()->setAutoFillBackground(false);
    m_rowList->setAutoFillBackground(false);
    // While the scroll bar takes room beside the rows, the header leaves the same room, so
    // that its columns stay over the rows' columns.
    QScrollBar* scrollBar = scroll->verticalScrollBar();
    connect(scrollBar, &QScrollBar::rangeChanged, this, [header, scrollBar](int, int maximum) {
        header->setContentsMargins(0, 0, maximum > 0 ? scrollBar->sizeHint().width() : 0, 0);
        header->activate();
    });

    m_requestReviewButton->setObjectName(QStringLiteral("requestReviewButton"));
    SecondaryButtonStyle::apply(m_requestReviewButton);
    connect(m_requestReviewButton, &QPushButton::clicked, this, &BlockHistoryView::requestReviewOfSelection);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(0, 0, 0, 0);
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_requestReviewButton, 0, Qt::AlignVCenter);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(pagePadding);
    page->setSpacing(0);
    page->addWidget(title, 0, Qt::AlignLeft);
    page->addSpacing(titlePadding);
    page->addWidget(help);
    page->addSpacing(helpPadding);
    page->addWidget(m_headerRow);
    page->addWidget(new Divider(Qt::Horizontal));
    page->addWidget(scroll, 1);
    page->addLayout(buttonRow);

    reloadRows();
    connect(m_sessionModel, &SessionObservableObject::blockedUrlsChanged, this, &BlockHistoryView::reloadRows);
}

const std::optional<BlockHistoryView::BlockedUrl>& BlockHistoryView::selectedRow() const
{
    return m_selectedRow;
}

const BlockHistoryView::BlockedUrl& BlockHistoryView::testModel() const
{
    return m_testModel;
}

qreal BlockHistoryView::categoryColumnWidth() const
{
    const QList<BlockedUrl> list = m_sessionModel->blockedUrls();
    if (list.isEmpty())
        return measuredWidth(m_testModel.category);
    qreal widest = 0;
    for (const BlockedUrl& entry : list)
        widest = std::max(widest, measuredWidth(entry.category));
    return widest * categoryWidthFactor;
}

qreal BlockHistoryView::dateColumnWidth() const
{
    return measuredWidth(DateFormatter::shortStyle(m_testModel.dateTime)) * dateWidthFactor;
}

QList<BlockHistoryRow*> BlockHistoryView::rows() const
{
    return m_rows;
}

QMenu* BlockHistoryView::contextMenu() const
{
    return m_contextMenu;
}

QPushButton* BlockHistoryView::requestReviewButton() const
{
    return m_requestReviewButton;
}

QString BlockHistoryView::unblockRequestAddress(const BlockedUrl& entry)
{
    return ApiClient::unblockRequestUrl() + QStringLiteral("&category_name=") +
           UrlEncoding::urlHostAllowed(entry.category) + QStringLiteral("&blocked_request=") + base64(entry.url) +
           QStringLiteral("&trigger=") + base64(entry.textTrigger);
}

void BlockHistoryView::select(const BlockedUrl& entry)
{
    m_selectedRow = entry;
    updateSelection();
}

void BlockHistoryView::requestReview(const BlockedUrl& entry)
{
    const QString address = unblockRequestAddress(entry);
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid()) {
        log(QStringLiteral("BlockHistoryView: the unblock request address is not a URL, not opened: ") +
            url.errorString());
        return;
    }
    Workspace::shared().open(url);
}

void BlockHistoryView::requestReviewOfSelection()
{
    if (m_selectedRow)
        requestReview(*m_selectedRow);
}

void BlockHistoryView::requestReviewFromMenu(const BlockedUrl& entry)
{
    select(entry);
    requestReview(entry);
}

void BlockHistoryView::copyFromMenu(const BlockedUrl& entry)
{
    select(entry);
    Device::copyToPasteboard(entry.url);
}

void BlockHistoryView::reloadRows()
{
    // Rows are kept by entry id, so a new event adds one row and moves the others down.
    QMultiHash<QUuid, BlockHistoryRow*> previous;
    for (BlockHistoryRow* row : m_rows) {
        m_rowLayout->removeWidget(row);
        previous.insert(row->entry().id, row);
    }
    m_rows.clear();
    const QList<BlockedUrl> list = m_sessionModel->blockedUrls();
    for (auto it = list.crbegin(); it != list.crend(); ++it) {
        BlockHistoryRow* row = previous.take(it->id);
        if (row) {
            if (!(row->entry() == *it))
                row->setEntry(*it);
        } else {
            row = new BlockHistoryRow(*it, m_rowList);
            connect(row, &BlockHistoryRow::tapped, this, [this, row] { select(row->entry()); });
            connect(row, &BlockHistoryRow::contextMenuRequested, this,
                    [this, row](const QPoint& position) { openContextMenu(row, position); });
        }
        m_rowLayout->insertWidget(m_rowLayout->count() - 1, row);
        m_rows.append(row);
        // Screen readers and Tab take the rows in their order among the list's children:
        // keep that the order shown, newest first.
        row->raise();
    }
    for (BlockHistoryRow* gone : std::as_const(previous)) {
        gone->hide();
        gone->deleteLater();
    }
    updateColumnWidths();
    updateSelection();
}

void BlockHistoryView::updateColumnWidths()
{
    const int categoryWidth = pixels(categoryColumnWidth());
    const int dateWidth = pixels(dateColumnWidth());
    fitHeader(m_categoryHeader, categoryWidth);
    fitHeader(m_dateHeader, dateWidth);
    for (BlockHistoryRow* row : std::as_const(m_rows))
        row->setColumnWidths(categoryWidth, dateWidth);
}

void BlockHistoryView::updateSelection()
{
    for (BlockHistoryRow* row : std::as_const(m_rows))
        row->setSelected(m_selectedRow && row->entry().id == m_selectedRow->id);
}

void BlockHistoryView::openContextMenu(BlockHistoryRow* row, const QPoint& globalPosition)
{
    if (m_contextMenu)
        m_contextMenu->close();
    // The menu acts on the entry as it was when the menu opened, even if the list moves on.
    const BlockedUrl entry = row->entry();
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("blockHistoryContextMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(tr("Request review"), this, [this, entry] { requestReviewFromMenu(entry); });
    menu->addAction(tr("Copy"), this, [this, entry] { copyFromMenu(entry); });
    m_contextMenu = menu;
    menu->popup(globalPosition);
}
