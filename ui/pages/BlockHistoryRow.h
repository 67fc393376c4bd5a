#pragma once

#include "core/SessionObservableObject.h"

#include <QWidget>

// One entry of the block history: category, date blocked and address, in the columns the
// page's header lays out, with a divider after each of the first two. A selected row
// shows white text on the accent colour, any other black text on no ground. Left click
// and secondary click are reported to the page, which owns the selection and the menu.
class BlockHistoryRow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int rowHeight = 25;
    static constexpr int columnSpacing = 10;

    explicit BlockHistoryRow(const SessionObservableObject::BlockedUrl& entry, QWidget* parent = nullptr);

    const SessionObservableObject::BlockedUrl& entry() const;
    void setEntry(const SessionObservableObject::BlockedUrl& entry);
    bool isSelected() const;
    void setSelected(bool selected);
    void setColumnWidths(int categoryWidth, int dateWidth);

    // The texts as the row shows them (before any eliding to the column).
    QString categoryText() const;
    QString dateText() const;
    QString urlText() const;
    // The three columns in order: texts and where they lie in the row.
    QStringList columnTexts() const;
    QList<QRect> columnRects() const;

    // What a click does (from the keyboard or a screen reader too).
    void tap();

    // Where each column lies in a row (or the header) of the given width: the category
    // column, the date column, and the rest, which centres the address.
    static QRect categoryRect(int categoryWidth, int height);
    static QRect dateRect(int categoryWidth, int dateWidth, int height);
    static QRect requestRect(int categoryWidth, int dateWidth, int width, int height);
    static QList<int> dividerPositions(int categoryWidth, int dateWidth);

signals:
    void tapped();
    void contextMenuRequested(const QPoint& globalPosition);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    SessionObservableObject::BlockedUrl m_entry;
    QString m_dateText;
    bool m_selected = false;
    bool m_pressed = false;
    int m_categoryWidth = 0;
    int m_dateWidth = 0;
};
