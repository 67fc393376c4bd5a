#pragma once

#include "core/DecodeResult.h"
#include "core/Interval.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QStringList>

#include <optional>

// One day's time restriction: the periods in which the internet is allowed, as "H.MM"
// texts taken in pairs (start, end), and whether the restriction applies at all.
struct TimeRestrictionModel
{
    QStringList EnabledThrough;
    bool RestrictionsEnabled = false;
    // Derived from EnabledThrough while decoding; never part of the JSON.
    QList<Interval> intervals;

    // RestrictionsEnabled is required; EnabledThrough may also come as a list of whole
    // numbers of hours, of which the first two are kept as "a.00" and "b.00".
    static DecodeResult<TimeRestrictionModel> decode(const QJsonValue& value, const QString& path = {});
    // EnabledThrough, then RestrictionsEnabled; both always.
    QJsonObject encode() const;

    // The element at `index` of EnabledThrough in minutes; nothing when the index is out
    // of range or the text is not a time.
    std::optional<qint64> minutes(qsizetype index) const;

    // "H.MM" in minutes: hours x 60 + minutes, no range check and no carry ("8.75" is
    // 555, "-1.30" is -30). Empty pieces between points are dropped; a single piece is the
    // hours; pieces after the second are ignored. Each piece is a whole decimal number
    // with an optional sign. Nothing for anything else or on 64-bit overflow.
    static std::optional<qint64> minutesFromText(const QString& text);

    // The (start, end) pairs of `enabledThrough`; fails on an odd count or a bad time.
    static DecodeResult<QList<Interval>> intervalsFrom(const QStringList& enabledThrough);

    bool operator==(const TimeRestrictionModel&) const = default;
};

// The time restrictions by day; keys are Day raw values (others are kept but unused).
using TimeRestrictionMap = QMap<QString, TimeRestrictionModel>;
