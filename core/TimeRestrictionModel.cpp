#include "core/TimeRestrictionModel.h"

#include "core/JsonDecoding.h"

#include <QJsonArray>

namespace {

const QString enabledThroughKey = QStringLiteral("EnabledThrough");
const QString restrictionsEnabledKey = QStringLiteral("RestrictionsEnabled");

// An optional "+" or "-", then ASCII digits only, within the signed 64-bit range.
std::optional<qint64> wholeNumber(const QString& piece)
{
    qsizetype i = 0;
    qint64 sign = 1;
    if (i < piece.size() && (piece[i] == QLatin1Char('+') || piece[i] == QLatin1Char('-'))) {
        sign = piece[i] == QLatin1Char('-') ? -1 : 1;
        ++i;
    }
    if (i == piece.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < piece.size(); ++i) {
        const char16_t c = piece[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        // Accumulating with the sign reaches the most negative value without overflow.
        if (__builtin_mul_overflow(value, qint64(10), &value) ||
            __builtin_add_overflow(value, sign * qint64(c - u'0'), &value))
            return std::nullopt;
    }
    return value;
}

// Whole numbers of hours, when every element is one.
std::optional<QList<qint64>> integerList(const QJsonValue& value)
{
    if (!value.isArray())
        return std::nullopt;
    const QJsonArray array = value.toArray();
    QList<qint64> numbers;
    numbers.reserve(array.size());
    for (const QJsonValue element : array) {
        const std::optional<qint64> number = JsonDecoding::exactInteger(element);
        if (!number)
            return std::nullopt;
        numbers.append(*number);
    }
    return numbers;
}

} // namespace

std::optional<qint64> TimeRestrictionModel::minutesFromText(const QString& text)
{
    const QStringList pieces = text.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return std::nullopt;
    const std::optional<qint64> hours = wholeNumber(pieces[0]);
    const std::optional<qint64> minutes =
        pieces.size() > 1 ? wholeNumber(pieces[1]) : std::optional<qint64>(0);
    if (!hours || !minutes)
        return std::nullopt;
    qint64 result = 0;
    if (__builtin_mul_overflow(*hours, qint64(60), &result) ||
        __builtin_add_overflow(result, *minutes, &result))
        return std::nullopt;
    return result;
}

std::optional<qint64> TimeRestrictionModel::minutes(qsizetype index) const
{
    if (index < 0 || index >= EnabledThrough.size())
        return std::nullopt;
    return minutesFromText(EnabledThrough[index]);
}

DecodeResult<QList<Interval>> TimeRestrictionModel::intervalsFrom(const QStringList& enabledThrough)
{
    using Result = DecodeResult<QList<Interval>>;
    if (enabledThrough.size() % 2 != 0)
        return Result::failure(QStringLiteral("an odd number of times (%1): the last start has no end")
                                   .arg(enabledThrough.size()));
    QList<Interval> intervals;
    intervals.reserve(enabledThrough.size() / 2);
    for (qsizetype k = 0; k < enabledThrough.size(); k += 2) {
        const std::optional<qint64> from = minutesFromText(enabledThrough[k]);
        const std::optional<qint64> to = minutesFromText(enabledThrough[k + 1]);
        if (!from || !to)
            return Result::failure(QStringLiteral("\"%1\" is not a time of the form H.MM")
                                       .arg(from ? enabledThrough[k + 1] : enabledThrough[k]));
        intervals.append(Interval{*from, *to});
    }
    return Result::success(std::move(intervals));
}

DecodeResult<TimeRestrictionModel> TimeRestrictionModel::decode(const QJsonValue& value, const QString& path)
{
    using Result = DecodeResult<TimeRestrictionModel>;
    const DecodeResult<QJsonObject> object = JsonDecoding::object(value, path);
    if (!object)
        return Result::failure(object.error());

    TimeRestrictionModel model;
    const DecodeResult<QJsonValue> enabled =
        JsonDecoding::required(object.value(), restrictionsEnabledKey, path);
    if (!enabled)
        return Result::failure(enabled.error());
    const DecodeResult<bool> flag =
        JsonDecoding::boolean(enabled.value(), JsonDecoding::joinPath(path, restrictionsEnabledKey));
    if (!flag)
        return Result::failure(flag.error());
    model.RestrictionsEnabled = flag.value();

    const QString throughPath = JsonDecoding::joinPath(path, enabledThroughKey);
    const QJsonValue through = object.value().value(enabledThroughKey);
    if (DecodeResult<QStringList> texts = JsonDecoding::stringList(through, throughPath)) {
        model.EnabledThrough = std::move(texts).value();
    } else if (const std::optional<QList<qint64>> hours = integerList(through)) {
        if (hours->size() < 2)
            return Result::failure(
                JsonDecoding::dataCorrupted(throughPath, QStringLiteral("fewer than two whole hours")));
        model.EnabledThrough = {QString::number(hours->at(0)) + QStringLiteral(".00"),
                                QString::number(hours->at(1)) + QStringLiteral(".00")};
    } else {
        const QString found =
            through.isArray() ? QStringLiteral("a list of other values") : JsonDecoding::describe(through);
        return Result::failure(JsonDecoding::dataCorrupted(
            throughPath, QStringLiteral("expected a list of texts or of whole hours, found %1").arg(found)));
    }

    DecodeResult<QList<Interval>> intervals = intervalsFrom(model.EnabledThrough);
    if (!intervals)
        return Result::failure(JsonDecoding::dataCorrupted(throughPath, intervals.error()));
    model.intervals = std::move(intervals).value();
    return Result::success(std::move(model));
}

QJsonObject TimeRestrictionModel::encode() const
{
    return QJsonObject{{enabledThroughKey, QJsonArray::fromStringList(EnabledThrough)},
                       {restrictionsEnabledKey, RestrictionsEnabled}};
}
