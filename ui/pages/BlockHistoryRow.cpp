#include "ui/pages/BlockHistoryRow.h"

#include "platform/DateFormatter.h"
#include "ui/components/Accessibility.h"
#include "ui/components/Divider.h"
#include "ui/styles/Styles.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

BlockHistoryRow::BlockHistoryRow(const SessionObservableObject::BlockedUrl& entry, QWidget* parent)
    : QWidget(parent)
{
    Accessibility::install();
    setObjectName(QStringLiteral("blockHistoryRow"));
    // Reached with Tab; Space or Return selects, the menu key opens the context menu.
    setFocusPolicy(Qt::TabFocus);
    setFixedHeight(rowHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setEntry(entry);
}

const SessionObservableObject::BlockedUrl& BlockHistoryRow::entry() const
{
    return m_entry;
}

void BlockHistoryRow::setEntry(const SessionObservableObject::BlockedUrl& entry)
{
    m_entry = entry;
    m_dateText = DateFormatter::shortStyle(entry.dateTime);
    update();
    Accessibility::nameChanged(this);
}

bool BlockHistoryRow::isSelected() const
{
    return m_selected;
}

void BlockHistoryRow::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    update();
    Accessibility::selectionChanged(this);
}

void BlockHistoryRow::setColumnWidths(int categoryWidth, int dateWidth)
{
    m_categoryWidth = categoryWidth;
    m_dateWidth = dateWidth;
    update();
}

QString BlockHistoryRow::categoryText() const
{
    return m_entry.category;
}

QString BlockHistoryRow::dateText() const
{
    return m_dateText;
}

QString BlockHistoryRow::urlText() const
{
    return m_entry.url;
}

QStringList BlockHistoryRow::columnTexts() const
{
    return {m_entry.category, m_dateText, m_entry.url};
}

QList<QRect> BlockHistoryRow::columnRects() const
{
    return {categoryRect(m_categoryWidth, height()), dateRect(m_categoryWidth, m_dateWidth, height()),
            requestRect(m_categoryWidth, m_dateWidth, width(), height())};
}

void BlockHistoryRow::tap()
{
    emit tapped();
}

QRect BlockHistoryRow::categoryRect(int categoryWidth, int height)
{
    return QRect(0, 0, categoryWidth, height);
}

QRect BlockHistoryRow::dateRect(int categoryWidth, int dateWidth, int height)
{
    return QRect(categoryWidth + 2 * columnSpacing + 1, 0, dateWidth, height);
}

QRect BlockHistoryRow::requestRect(int categoryWidth, int dateWidth, int width, int height)
{
    const int left = categoryWidth + dateWidth + 4 * columnSpacing + 2;
    return QRect(left, 0, qMax(0, width - left), height);
}

QList<int> BlockHistoryRow::dividerPositions(int categoryWidth, int dateWidth)
{
    return {categoryWidth + columnSpacing, categoryWidth + dateWidth + 3 * columnSpacing + 1};
}

void BlockHistoryRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_selected)
        painter.fillRect(rect(), Styles::accentColor());
    painter.setPen(m_selected ? Qt::white : Qt::black);
    const QFontMetrics metrics = fontMetrics();
    const auto drawColumn = [&](const QRect& column, const QString& text) {
        painter.drawText(column, Qt::AlignCenter, metrics.elidedText(text, Qt::ElideRight, column.width()));
    };
    drawColumn(categoryRect(m_categoryWidth, height()), m_entry.category);
    drawColumn(dateRect(m_categoryWidth, m_dateWidth, height()), m_dateText);
    drawColumn(requestRect(m_categoryWidth, m_dateWidth, width(), height()), m_entry.url);
    for (const int x : dividerPositions(m_categoryWidth, m_dateWidth))
        painter.fillRect(QRect(x, 0, 1, height()), Divider::color());
    if (hasFocus()) {
        painter.setPen(QPen(m_selected ? Qt::white : Styles::accentColor(), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void BlockHistoryRow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        tap();
        return;
    case Qt::Key_Up:
        event->accept();
        focusPreviousChild();
        return;
    case Qt::Key_Down:
        event->accept();
        focusNextChild();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void BlockHistoryRow::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void BlockHistoryRow::mouseReleaseEvent(QMouseEvent* event)
{
    // A tap: pressed and released on the row with the primary button.
    const bool tap = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (tap)
        emit tapped();
}

void BlockHistoryRow::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    emit contextMenuRequested(event->globalPos());
}
