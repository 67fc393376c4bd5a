#include "ui/components/Accessibility.h"

#include "ui/components/LineLimitedLabel.h"
#include "ui/pages/BlockHistoryRow.h"
#include "ui/sidebar/SidebarCell.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>

#include <array>
#include <mutex>

namespace {

// A list entry that reports whether it is the selected one and can be pressed.
class ListItemAccessible : public QAccessibleWidget
{
public:
    explicit ListItemAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::ListItem) {}

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.selectable = true;
        state.selected = isSelected();
        return state;
    }
    QStringList actionNames() const override
    {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& actionName) override
    {
        if (actionName == pressAction())
            press();
        else
            QAccessibleWidget::doAction(actionName);
    }

protected:
    virtual bool isSelected() const = 0;
    virtual void press() = 0;
};

class SidebarCellAccessible : public ListItemAccessible
{
public:
    explicit SidebarCellAccessible(SidebarCell* cell) : ListItemAccessible(cell) {}

    QString text(QAccessible::Text t) const override
    {
        // The title exactly: "Help & Support" is no shortcut marker.
        return t == QAccessible::Name ? cell()->title() : ListItemAccessible::text(t);
    }

protected:
    bool isSelected() const override { return cell()->isHighlighted(); }
    void press() override { cell()->click(); }

private:
    SidebarCell* cell() const { return static_cast<SidebarCell*>(widget()); }
};

// One column of a block-history row, as plain text.
class RowColumnAccessible : public QAccessibleInterface
{
public:
    RowColumnAccessible(BlockHistoryRow* row, int column) : m_row(row), m_column(column) {}

    bool isValid() const override { return m_row; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_row ? m_row->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_row.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name || !m_row)
            return {};
        return m_row->columnTexts().value(m_column);
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        if (!m_row)
            return {};
        const QRect column = m_row->columnRects().value(m_column);
        return QRect(m_row->mapToGlobal(column.topLeft()), column.size());
    }
    QAccessible::Role role() const override { return QAccessible::StaticText; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.readOnly = true;
        state.invisible = !m_row || !m_row->isVisible();
        return state;
    }

private:
    QPointer<BlockHistoryRow> m_row;
    int m_column;
};

// A row: its name reads all its columns, and each column is a child of its own.
class BlockHistoryRowAccessible : public ListItemAccessible
{
public:
    explicit BlockHistoryRowAccessible(BlockHistoryRow* row) : ListItemAccessible(row) {}
    ~BlockHistoryRowAccessible() override
    {
        for (const QAccessible::Id id : m_columnIds)
            if (id)
                QAccessible::deleteAccessibleInterface(id);
    }

    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? row()->columnTexts().join(QStringLiteral(", ")) : ListItemAccessible::text(t);
    }
    int childCount() const override { return int(m_columnIds.size()); }
    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        QAccessible::Id& id = m_columnIds[size_t(index)];
        if (!id)
            id = QAccessible::registerAccessibleInterface(new RowColumnAccessible(row(), index));
        return QAccessible::accessibleInterface(id);
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (int i = 0; i < childCount(); ++i)
            if (m_columnIds[size_t(i)] && QAccessible::accessibleInterface(m_columnIds[size_t(i)]) == child)
                return i;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QPoint local = row()->mapFromGlobal(QPoint(x, y));
        const QList<QRect> columns = row()->columnRects();
        for (int i = 0; i < columns.size(); ++i)
            if (columns[i].contains(local))
                return child(i);
        return nullptr;
    }

protected:
    bool isSelected() const override { return row()->isSelected(); }
    void press() override { row()->tap(); }

private:
    BlockHistoryRow* row() const { return static_cast<BlockHistoryRow*>(widget()); }
    mutable std::array<QAccessible::Id, 3> m_columnIds{};
};

// Text that the widget paints itself.
class PaintedTextAccessible : public QAccessibleWidget
{
public:
    explicit PaintedTextAccessible(LineLimitedLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<LineLimitedLabel*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* factory(const QString&, QObject* object)
{
    if (auto* cell = qobject_cast<SidebarCell*>(object))
        return new SidebarCellAccessible(cell);
    if (auto* row = qobject_cast<BlockHistoryRow*>(object))
        return new BlockHistoryRowAccessible(row);
    if (auto* label = qobject_cast<LineLimitedLabel*>(object))
        return new PaintedTextAccessible(label);
    return nullptr;
}

} // namespace

namespace Accessibility {

void install()
{
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(factory); });
}

void nameChanged(QObject* object)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent event(object, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

void selectionChanged(QObject* object)
{
    if (!QAccessible::isActive())
        return;
    QAccessible::State changed;
    changed.selected = true;
    QAccessibleStateChangeEvent event(object, changed);
    QAccessible::updateAccessibility(&event);
}

} // namespace Accessibility
