#include "ui/components/LinkButton.h"

#include "platform/Workspace.h"
#include "ui/styles/Styles.h"

LinkButton::LinkButton(const QString& text, const QUrl& url, QWidget* parent)
    : QPushButton(text, parent), m_url(url)
{
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(text);
    setAccessibleDescription(url.toString());
    setToolTip(url.toString());
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setStyleSheet(QStringLiteral("QPushButton { color: %1; border: none; padding: 0px; text-align: left; }")
                      .arg(Styles::accentColor().name()));
    connect(this, &QPushButton::clicked, this, [this] { Workspace::shared().open(m_url); });
}
