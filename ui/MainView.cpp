#include "ui/MainView.h"

#include "ui/pages/BlockHistoryView.h"
#include "ui/sidebar/SidebarCell.h"
#include "ui/sidebar/SidebarView.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

MainView::MainView(SessionObservableObject* sessionModel, LoadingModel* loadingModel, QWidget* parent)
    : QWidget(parent), m_sessionModel(sessionModel), m_sidebar(new SidebarView(sessionModel, loadingModel)), m_detailColumn(new QWidget),
      m_detailLayout(new QVBoxLayout(m_detailColumn))
{
    setObjectName(QStringLiteral("MainView"));
    m_detailColumn->setObjectName(QStringLiteral("DetailColumn"));
    m_detailLayout->setContentsMargins(0, 0, 0, 0);
    m_detailLayout->setSpacing(0);

    auto* columns = new QHBoxLayout(this);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);
    columns->addWidget(m_sidebar);
    columns->addWidget(m_detailColumn, 1);

    showActiveCell();
    connect(m_sidebar, &SidebarView::activeCellChanged, this, &MainView::showActiveCell);
}

void MainView::showActiveCell()
{
    SidebarCell* cell = m_sidebar->activeCell();
    QWidget* page = cell ? cell->destination() : nullptr;
    setDetail(page ? page : new BlockHistoryView(m_sessionModel));
}

SidebarView* MainView::sidebar() const
{
    return m_sidebar;
}

QWidget* MainView::detail() const
{
    return m_detail;
}

void MainView::setDetail(QWidget* page)
{
    if (page == m_detail)
        return;
    if (m_detail) {
        m_detail->hide();
        m_detailLayout->removeWidget(m_detail);
        m_detail->deleteLater();
    }
    m_detail = page;
    if (m_detail) {
        m_detailLayout->addWidget(m_detail);
        m_detail->show();
    }
}
