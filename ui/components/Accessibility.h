#pragma once

class QObject;

// What screen readers (AT-SPI on Linux) learn about the widgets that draw themselves: the
// sidebar entries and block-history rows as selectable list items with their texts and a
// press action, each row's columns as texts of their own, and hand-painted messages as
// text. Each of those widgets installs it when the first one is made.
namespace Accessibility {
void install();
// Tells screen readers that the widget's name or selected state changed.
void nameChanged(QObject* object);
void selectionChanged(QObject* object);
} // namespace Accessibility
