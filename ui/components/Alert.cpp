#include "ui/components/Alert.h"

#include <QLabel>
#include <QMessageBox>

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
    if (auto* messageLabel = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        messageLabel->setTextFormat(Qt::PlainText);
    return alert;
}

} // namespace Alert
