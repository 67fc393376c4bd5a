#include "platform/DateFormatter.h"

#include <QLocale>
#include <QRegularExpression>


namespace {

QString fourDigitYears(QString format)
{
    static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    return format.replace(twoDigitYear, QStringLiteral("yyyy"));
}

QString shortTimeFormat(const QLocale& locale)
{
    // Some locales (C among them) put seconds into the short time; the short style has none.
    static const QRegularExpression seconds(QStringLiteral("[:.]s+"));
    QString time = locale.timeFormat(QLocale::ShortFormat);
    time.remove(seconds);
    return time;
}

QString shortFormat(const QLocale& locale)
{
    return fourDigitYears(locale.dateFormat(QLocale::ShortFormat)) + QLatin1Char(' ') + shortTimeFormat(locale);
}

QString mediumFormat(const QLocale& locale)
{
    // The long time format ends in the zone name ("t"); the medium style has none.
    static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*$"));
    QString time = locale.timeFormat(QLocale::LongFormat);
    time.remove(zone);
    return fourDigitYears(locale.dateFormat(QLocale::ShortFormat)) + QLatin1Char(' ') + time;
}

} // namespace

namespace DateFormatter {

QString shortStyle(const QDateTime& dateTime)
{
    const QLocale locale;
    return locale.toString(dateTime.toLocalTime(), shortFormat(locale));
}

QString mediumStyle(const QDateTime& dateTime)
{
    const QLocale locale;
    return locale.toString(dateTime.toLocalTime(), mediumFormat(locale));
}

QString shortTimeStyle(const QDateTime& dateTime)
{
    const QLocale locale;
    return locale.toString(dateTime.toLocalTime(), shortTimeFormat(locale));
}

std::optional<QDateTime> parseShortStyle(const QString& text)
{
    const QLocale locale;
    QDateTime parsed = locale.toDateTime(text, shortFormat(locale));
    if (!parsed.isValid())
        return std::nullopt;
    return parsed;
}

} // namespace DateFormatter
