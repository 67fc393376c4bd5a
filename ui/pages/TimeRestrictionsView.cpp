#include "ui/pages/TimeRestrictionsView.h"

#include "core/Day.h"
#include "core/SessionObservableObject.h"
#include "platform/Deployment.h"
#include "platform/Workspace.h"
#include "ui/Fonts.h"
#include "ui/pages/TimeRestrictionProgressBarView.h"
#include "ui/styles/LinkButtonStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

TimeRestrictionsView::TimeRestrictionsView(SessionObservableObject* sessionModel, QWidget* parent)
    : QWidget(parent), m_sessionModel(sessionModel)
{
    setObjectName(QStringLiteral("TimeRestrictionsView"));

    auto* title = new QLabel(tr("Time Restrictions"));
    title->setObjectName(QStringLiteral("title"));
    title->setFont(Fonts::system(titleSize));

    auto* notEnabled = new QLabel(tr("Time Restrictions not enabled. Click \"Edit\" below to set the up"));
    notEnabled->setObjectName(QStringLiteral("notEnabledText"));

    auto* edit = new QPushButton(tr("Edit"));
    edit->setObjectName(QStringLiteral("editLink"));
    LinkButtonStyle::apply(edit);
    connect(edit, &QPushButton::clicked, this, &TimeRestrictionsView::openEdit);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(pagePadding, pagePadding, pagePadding, pagePadding);
    page->setSpacing(0);
    page->addWidget(title, 0, Qt::AlignHCenter);
    page->addSpacing(titlePadding);
    page->addWidget(notEnabled, 0, Qt::AlignLeft);
    const TimeRestrictionMap restrictions = m_sessionModel ? m_sessionModel->timeRestrictions() : TimeRestrictionMap();
    for (const Day day : allDays()) {
        auto* row = new TimeRestrictionProgressBarView(day, restrictions);
        m_rows.append(row);
        page->addWidget(row);
    }
    page->addSpacing(editPadding);
    page->addWidget(edit, 0, Qt::AlignLeft);
    page->addStretch(1);

    if (m_sessionModel)
        connect(m_sessionModel, &SessionObservableObject::timeRestrictionsChanged, this,
                &TimeRestrictionsView::reloadRows);
}

QString TimeRestrictionsView::editAddress()
{
    return QStringLiteral("https://") + Deployment::serverHost() + QStringLiteral("/Velmora/user?tab=time-restrictions");
}

void TimeRestrictionsView::openEdit()
{
    Workspace::shared().open(QUrl(editAddress()));
}

void TimeRestrictionsView::reloadRows()
{
    const TimeRestrictionMap restrictions = m_sessionModel ? m_sessionModel->timeRestrictions() : TimeRestrictionMap();
    for (TimeRestrictionProgressBarView* row : std::as_const(m_rows))
        row->setTimeRestrictions(restrictions);
}
