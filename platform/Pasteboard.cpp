#include "platform/Pasteboard.h"

#include "platform/Diagnostics.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace Pasteboard {

void setString(const QString& text)
{
    QClipboard* clipboard = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr;
    if (!clipboard) {
        Diagnostics::report(QStringLiteral("Pasteboard: no clipboard without a GUI application"));
        return;
    }
    // A fresh mime data object drops every other type the clipboard held.
    auto* mime = new QMimeData;
    mime->setText(text);
    clipboard->setMimeData(mime);
}

QString string()
{
    QClipboard* clipboard = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr;
    return clipboard ? clipboard->text() : QString();
}

} // namespace Pasteboard
