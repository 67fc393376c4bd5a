#include "ui/sidebar/SidebarCell.h"

#include "core/SessionObservableObject.h"
#include "ui/components/Accessibility.h"
#include "ui/icons/FAText.h"
#include "ui/styles/Styles.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

SidebarCell::SidebarCell(SessionObservableObject* sessionModel, MainViewTabs id, const QString& icon, qreal width,
                         qreal height, qreal leadingPadding, ViewBuilder viewBuilder, QWidget* parent)
    : QAbstractButton(parent), m_sessionModel(sessionModel), m_id(id), m_icon(icon),
      m_viewBuilder(std::move(viewBuilder))
{
    Accessibility::install();
    setObjectName(rawValue(id));
    setText(rawValue(id));
    // Reached with Tab and pressed with Space; a click does not take the focus.
    setFocusPolicy(Qt::TabFocus);
    const int labelWidth = int(std::ceil(width));
    const int labelHeight = int(std::ceil(height));
    const int padding = int(std::ceil(leadingPadding));
    setFixedSize(padding + labelWidth, labelHeight);

    QPalette white = palette();
    white.setColor(QPalette::WindowText, Qt::white);
    white.setColor(QPalette::ButtonText, Qt::white);
    setPalette(white);

    // The label: icon and title side by side, vertically centred, leading-aligned.
    auto* label = new QWidget(this);
    label->setObjectName(QStringLiteral("label"));
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setGeometry(padding, 0, labelWidth, labelHeight);
    auto* row = new QHBoxLayout(label);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    auto* iconView = new FAText(icon, iconSize);
    iconView->setObjectName(QStringLiteral("icon"));
    auto* titleView = new QLabel(rawValue(id));
    titleView->setObjectName(QStringLiteral("title"));
    titleView->setAccessibleName(rawValue(id));
    row->addWidget(iconView, 0, Qt::AlignVCenter);
    row->addWidget(titleView, 0, Qt::AlignVCenter);
    row->addStretch(1);

    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_sessionModel)
            m_sessionModel->setSelectedMainPage(m_id);
    });
    connect(sessionModel, &SessionObservableObject::selectedSideBarTabChanged, this, [this] {
        update();
        Accessibility::selectionChanged(this);
    });
}

MainViewTabs SidebarCell::id() const
{
    return m_id;
}

QString SidebarCell::icon() const
{
    return m_icon;
}

QString SidebarCell::title() const
{
    return rawValue(m_id);
}

bool SidebarCell::isActive() const
{
    return m_sessionModel && m_sessionModel->selectedMainPage() == m_id;
}

bool SidebarCell::isHighlighted() const
{
    return m_sessionModel && m_sessionModel->selectedSideBarTab() == m_id;
}

QWidget* SidebarCell::destination() const
{
    return m_viewBuilder ? m_viewBuilder() : nullptr;
}

void SidebarCell::paintEvent(QPaintEvent*)
{
    // No pressed or selected look of its own: only the accent ground of the page last shown,
    // and a thin outline while the keyboard is on the entry.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    if (isHighlighted())
        painter.fillPath(path, Styles::accentColor());
    if (hasFocus()) {
        QPainterPath outline;
        outline.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
        painter.setPen(QPen(Qt::white, 1));
        painter.drawPath(outline);
    }
}
