#pragma once

#include <QtGlobal>

// A period of a day in minutes since midnight (00:00 is 0, 24:00 is 1440). Lists of
// intervals identify an entry by its start.
struct Interval
{
    qint64 from = 0;
    qint64 to = 0;

    qint64 id() const { return from; }
    bool operator==(const Interval&) const = default;
};
