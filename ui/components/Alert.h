#pragma once

#include <QString>

class QMessageBox;
class QWidget;

// The alerts the pages show: a bold title over a message, both plain text (what the user
// typed or the server sent is shown as it is, never as markup), modal to the window only
// and opened without a nested event loop, so the link and the timers keep running.
namespace Alert {

// A new alert over `parent`'s window, not yet shown and without buttons; it deletes itself
// once closed. Add the buttons, connect `finished`, then open() it.
QMessageBox* make(QWidget* parent, const QString& objectName, const QString& title, const QString& message);

} // namespace Alert
