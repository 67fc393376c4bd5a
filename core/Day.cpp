#include "core/Day.h"

const std::array<Day, 7>& allDays()
{
    static constexpr std::array<Day, 7> days{Day::monday, Day::tuesday,  Day::wednesday, Day::thursday,
                                             Day::friday, Day::saturday, Day::sunday};
    return days;
}

QString rawValue(Day day)
{
    switch (day) {
    case Day::monday:
        return QStringLiteral("monday");
    case Day::tuesday:
        return QStringLiteral("tuesday");
    case Day::wednesday:
        return QStringLiteral("wednesday");
    case Day::thursday:
        return QStringLiteral("thursday");
    case Day::friday:
        return QStringLiteral("friday");
    case Day::saturday:
        return QStringLiteral("saturday");
    case Day::sunday:
        return QStringLiteral("sunday");
    }
    return {};
}

std::optional<Day> dayFromRawValue(const QString& text)
{
    for (const Day day : allDays()) {
        if (rawValue(day) == text)
            return day;
    }
    return std::nullopt;
}
