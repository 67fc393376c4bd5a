#include "ui/sidebar/SidebarView.h"

#include "core/LoadingModel.h"
#include "core/SessionObservableObject.h"
#include "ui/components/AppearAction.h"
#include "ui/pages/AdvancedView.h"
#include "ui/pages/BlockHistoryView.h"
#include "ui/pages/FilterTestView.h"
#include "ui/pages/HelpAndSupportView.h"
#include "ui/pages/MyBlockedSitesView.h"
#include "ui/pages/RelaxedPolicyView.h"
#include "ui/pages/TimeRestrictionsView.h"
#include "ui/sidebar/SidebarCell.h"

#include <QPointer>
#include <QVBoxLayout>

#include <array>
#include <utility>

namespace {

// The list's own insets around its rows.
constexpr int listTopInset = 10;
constexpr int rowSpacing = 4;

} // namespace

QColor SidebarView::backgroundColor()
{
    return QColor::fromRgb(68, 68, 68);
}

SidebarView::SidebarView(SessionObservableObject* sessionModel, LoadingModel* loadingModel, QWidget* parent)
    : QWidget(parent), m_sessionModel(sessionModel), m_activePage(sessionModel->selectedMainPage())
{
    setObjectName(QStringLiteral("SidebarView"));
    setFixedWidth(columnWidth);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    setMinimumHeight(0);
    QPalette ground = palette();
    ground.setColor(QPalette::Window, backgroundColor());
    setPalette(ground);
    setAutoFillBackground(true);

    auto* list = new QVBoxLayout(this);
    const int rowWidth = int(cellLeadingPadding + cellWidth);
    const int sideInset = (columnWidth - rowWidth) / 2;
    list->setContentsMargins(sideInset, listTopInset, columnWidth - rowWidth - sideInset, 0);
    list->setSpacing(rowSpacing);
    QPointer<SessionObservableObject> model = sessionModel;
    QPointer<LoadingModel> loading = loadingModel;
    for (const MainViewTabs page : allMainViewTabs()) {
        auto viewBuilder = [model, loading, page]() -> QWidget* {
            QWidget* view = makePage(page, model, loading);
            // The page marks itself as the one shown once it is on screen.
            AppearAction::attach(view, [model, page] {
                if (model)
                    model->setSelectedSideBarTab(page);
            });
            return view;
        };
        auto* cell = new SidebarCell(sessionModel, page, icon(page), cellWidth, cellHeight, cellLeadingPadding,
                                     viewBuilder);
        m_cells.append(cell);
        list->addWidget(cell, 0, Qt::AlignLeft);
    }
    list->addStretch(1);

    connect(sessionModel, &SessionObservableObject::selectedMainPageChanged, this,
            &SidebarView::followSelectedMainPage);
}

QString SidebarView::icon(MainViewTabs page)
{
    static const std::array<std::pair<MainViewTabs, QString>, 7> icons{{
        {MainViewTabs::blockHistory, QStringLiteral("history")},
        {MainViewTabs::myBlockedSites, QStringLiteral("ban")},
        {MainViewTabs::timeRestrictions, QStringLiteral("user-lock")},
        {MainViewTabs::relaxedPolicy, QStringLiteral("eye")},
        {MainViewTabs::advanced, QStringLiteral("cog")},
        {MainViewTabs::filterTest, QStringLiteral("stethoscope")},
        {MainViewTabs::helpAndSupport, QStringLiteral("question-circle")},
    }};
    for (const auto& [tab, name] : icons)
        if (tab == page)
            return name;
    return {};
}

QWidget* SidebarView::makePage(MainViewTabs page, SessionObservableObject* sessionModel, LoadingModel* loadingModel)
{
    switch (page) {
    case MainViewTabs::blockHistory:
        return new BlockHistoryView(sessionModel);
    case MainViewTabs::myBlockedSites:
        return new MyBlockedSitesView(loadingModel, sessionModel);
    case MainViewTabs::timeRestrictions:
        return new TimeRestrictionsView(sessionModel);
    case MainViewTabs::relaxedPolicy:
        return new RelaxedPolicyView(sessionModel);
    case MainViewTabs::advanced:
        return new AdvancedView(sessionModel, loadingModel);
    case MainViewTabs::filterTest:
        return new FilterTestView;
    case MainViewTabs::helpAndSupport:
        return new HelpAndSupportView;
    }
    return new QWidget;
}

QList<SidebarCell*> SidebarView::cells() const
{
    return m_cells;
}

SidebarCell* SidebarView::cell(MainViewTabs page) const
{
    for (SidebarCell* entry : m_cells)
        if (entry->id() == page)
            return entry;
    return nullptr;
}

SidebarCell* SidebarView::activeCell() const
{
    return m_activePage ? cell(*m_activePage) : nullptr;
}

void SidebarView::followSelectedMainPage(std::optional<MainViewTabs> page)
{
    // The value is also written unchanged (a second click, the status menu naming the page
    // already shown); only a real change activates another entry and builds its page.
    if (page == m_activePage)
        return;
    m_activePage = page;
    emit activeCellChanged(activeCell());
}
