#include "ui/components/Alert.h"

#include <QLabel>
#include <QMessageBox>

#include <algorithm>

namespace {

constexpr int maximumMessageWidth = 360;

} // namespace

namespace Alert {

QMessageBox* make(QWidget* parent, const QString& objectName, const QString& title, const QString& message)
{
    auto* alert = new QMessageBox(parent);
    alert->setObjectName(objectName);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    alert->setIcon(QMessageBox::NoIcon);
    alert->setWindowTitle(title);
    alert->setTextFormat(Qt::PlainText);
    alert->setText(title);
    alert->setInformativeText(message);
    if (auto* titleLabel = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont font = titleLabel->font();
        font.setBold(true);
        titleLabel->setFont(font);
    }
    if (auto* messageLabel = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        messageLabel->setTextFormat(Qt::PlainText);
        // A short message on one line rather than wrapped to the width of the buttons; a
        // long one wraps at a readable width.
        const int width = messageLabel->fontMetrics().horizontalAdvance(message) + 2;
        messageLabel->setMinimumWidth(std::min(width, maximumMessageWidth));
    }
    return alert;
}

} // namespace Alert
