#pragma once

#include "core/SessionObservableObject.h"

#include <QHash>
#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <optional>

class BlockHistoryRow;
class QLabel;
class QMenu;
class QPushButton;
class QVBoxLayout;

// The requests the filter blocked during this run, newest first, as a table of category,
// date blocked and address; the first page of the signed-in layout. A click selects an
// entry; "request review" opens the service's unblock-request page for the selection in
// the default browser, and each entry's context menu requests a review or copies its
// address. The list itself is the session's blockedUrls; the page only reads it.
class BlockHistoryView : public QWidget
{
    Q_OBJECT

public:
    using BlockedUrl = SessionObservableObject::BlockedUrl;

    static constexpr qreal categoryWidthFactor = 1.2;
    static constexpr qreal dateWidthFactor = 1.2;
    static constexpr int headerHeight = 30;
    static constexpr int rowSpacing = 8;

    explicit BlockHistoryView(SessionObservableObject* sessionModel, QWidget* parent = nullptr);

    // The entry selected last; it stays even when the entry leaves the list.
    const std::optional<BlockedUrl>& selectedRow() const;
    // The sample that sizes the date column (and the category column of an empty list).
    const BlockedUrl& testModel() const;

    // The widest category of the list times 1.2; the sample category alone when the list
    // is empty. Measured in the application's default font.
    qreal categoryColumnWidth() const;
    // The sample date in the short date and time styles, times 1.2.
    qreal dateColumnWidth() const;

    // The rows as shown, top first.
    QList<BlockHistoryRow*> rows() const;
    // The context menu while it is open, else nullptr.
    QMenu* contextMenu() const;
    QPushButton* requestReviewButton() const;

    // The unblock-request address for an entry: the service's address with the category
    // (percent-encoded for a URL host) and the Base64 of the address and of the trigger.
    static QString unblockRequestAddress(const BlockedUrl& entry);

    // Selects a copy of the entry, as a click on its row does.
    void select(const BlockedUrl& entry);
    // Opens the unblock-request page for the entry in the default browser.
    void requestReview(const BlockedUrl& entry);
    // What the "request review" button runs: the review of the selection, if any.
    void requestReviewOfSelection();
    // The context menu's items: each selects the entry first.
    void requestReviewFromMenu(const BlockedUrl& entry);
    void copyFromMenu(const BlockedUrl& entry);

private:
    void reloadRows();
    void updateColumnWidths();
    void updateSelection();
    void openContextMenu(BlockHistoryRow* row, const QPoint& globalPosition);

    SessionObservableObject* m_sessionModel;
    std::optional<BlockedUrl> m_selectedRow;
    const BlockedUrl m_testModel;
    QLabel* m_categoryHeader;
    QLabel* m_dateHeader;
    QWidget* m_headerRow;
    QWidget* m_rowList;
    QVBoxLayout* m_rowLayout;
    QList<BlockHistoryRow*> m_rows;
    QPushButton* m_requestReviewButton;
    QPointer<QMenu> m_contextMenu;
};
