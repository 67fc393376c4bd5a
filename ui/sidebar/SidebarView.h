#pragma once

#include "core/MainViewTabs.h"

#include <QColor>
#include <QList>
#include <QWidget>

#include <optional>

class LoadingModel;
class SessionObservableObject;
class SidebarCell;

// The signed-in layout's left column: one entry per page, in the order of MainViewTabs.
// The entry whose page is selected (selectedMainPage) is the active one; when that
// changes the sidebar tells its owner, which shows the entry's page (a new one each time).
class SidebarView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int columnWidth = 250;
    static constexpr qreal cellWidth = 197;
    static constexpr qreal cellHeight = 40;
    static constexpr qreal cellLeadingPadding = 20;
    // sRGB 68, 68, 68.
    static QColor backgroundColor();

    explicit SidebarView(SessionObservableObject* sessionModel, LoadingModel* loadingModel = nullptr,
                         QWidget* parent = nullptr);

    // The Font Awesome icon of each page's entry.
    static QString icon(MainViewTabs page);
    // A new, empty-handed view of the page.
    static QWidget* makePage(MainViewTabs page, SessionObservableObject* sessionModel,
                             LoadingModel* loadingModel = nullptr);

    QList<SidebarCell*> cells() const;
    SidebarCell* cell(MainViewTabs page) const;
    // The entry of selectedMainPage; nullptr when no page is selected.
    SidebarCell* activeCell() const;

signals:
    // selectedMainPage now names another page (or none).
    void activeCellChanged(SidebarCell* cell);

private:
    void followSelectedMainPage(std::optional<MainViewTabs> page);

    SessionObservableObject* m_sessionModel;
    QList<SidebarCell*> m_cells;
    std::optional<MainViewTabs> m_activePage;
};
