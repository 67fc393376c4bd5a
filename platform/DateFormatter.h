#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// Date and time texts in the user's locale and time zone, in the platform's "short" and
// "medium" styles. Short has no seconds; years always have four digits so that a short
// text parses back to the same minute.
namespace DateFormatter {
QString shortStyle(const QDateTime& dateTime);
QString mediumStyle(const QDateTime& dateTime);
// The time alone in the short style (hours and minutes, no date).
QString shortTimeStyle(const QDateTime& dateTime);
std::optional<QDateTime> parseShortStyle(const QString& text);
} // namespace DateFormatter
