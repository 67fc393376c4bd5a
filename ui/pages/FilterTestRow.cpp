#include "ui/pages/FilterTestRow.h"

#include "ui/Fonts.h"
#include "ui/components/Divider.h"
#include "ui/icons/FAText.h"
#include "ui/styles/SecondaryButtonStyle.h"
#include "ui/styles/Styles.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace {
// The platform's green.
QColor passedColor()
{
    return QColor::fromRgb(52, 199, 89);
}

QLabel* columnText(const QString& text, int width)
{
    auto* label = new QLabel(text);
    label->setFont(Fonts::system(FilterTestRow::textSize));
    label->setFixedWidth(width);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    label->setAccessibleName(text);
    return label;
}
} // namespace

FilterTestRow::FilterTestRow(const FilterTestResult& result, QWidget* parent)
    : QWidget(parent), m_result(result),
      m_icon(new FAText(result.passed ? QStringLiteral("check") : QStringLiteral("times"), iconSize)),
      m_status(columnText(result.passed ? tr("Passed") : tr("Failed"), statusWidth)),
      m_name(columnText(result.testName, nameWidth)), m_details(new QPushButton(QStringLiteral("DETAILS")))
{
    setObjectName(QStringLiteral("resultRow"));
    setAccessibleName(result.testName);

    m_icon->setObjectName(QStringLiteral("resultIcon"));
    m_icon->setColor(result.passed ? passedColor() : Styles::errorTextColor());
    m_icon->setFixedWidth(iconWidth);
    // The icon says what the status column says; a screen reader reads it the same way.
    m_icon->setAccessibleName(m_status->text());
    m_status->setObjectName(QStringLiteral("resultStatus"));
    m_name->setObjectName(QStringLiteral("resultName"));

    m_details->setObjectName(QStringLiteral("detailsButton"));
    m_details->setFont(Fonts::system(textSize));
    SecondaryButtonStyle::apply(m_details);
    m_details->setFixedWidth(detailsWidth);
    m_details->setAccessibleName(m_details->text());
    m_details->setAccessibleDescription(tr("Details of %1").arg(result.testName));
    connect(m_details, &QPushButton::clicked, this, [this] { emit detailsRequested(m_result); });

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    layout->addWidget(m_icon, 0, Qt::AlignVCenter);
    layout->addWidget(new Divider(Qt::Vertical));
    layout->addWidget(m_status, 0, Qt::AlignVCenter);
    layout->addWidget(new Divider(Qt::Vertical));
    layout->addWidget(m_name, 0, Qt::AlignVCenter);
    layout->addWidget(new Divider(Qt::Vertical));
    layout->addWidget(m_details, 0, Qt::AlignVCenter);
}
