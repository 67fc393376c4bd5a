#pragma once

#include <QString>

#include <array>
#include <optional>

// The days of the week; the raw values are the keys of the time restrictions.
enum class Day
{
    monday,
    tuesday,
    wednesday,
    thursday,
    friday,
    saturday,
    sunday,
};

// Monday first.
const std::array<Day, 7>& allDays();
QString rawValue(Day day);
// Exact, case-sensitive match of a raw value; nothing for any other text.
std::optional<Day> dayFromRawValue(const QString& text);
