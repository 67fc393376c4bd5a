#include "platform/UpdateVersion.h"

#include <QStringList>

namespace {

// The leading digits of a component without leading zeros ("" for zero).
QStringView number(QStringView component)
{
    qsizetype end = 0;
    while (end < component.size() && component[end].isDigit() && component[end].unicode() < 128)
        ++end;
    qsizetype start = 0;
    while (start < end && component[start] == QLatin1Char('0'))
        ++start;
    return component.mid(start, end - start);
}

// Digit texts compare as numbers of any length: the longer is larger, else the first
// differing digit decides.
int compareNumbers(QStringView left, QStringView right)
{
    if (left.size() != right.size())
        return left.size() < right.size() ? -1 : 1;
    const int order = left.compare(right);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

} // namespace

namespace UpdateVersion {

int compare(const QString& left, const QString& right)
{
    const QStringList a = left.trimmed().split(QLatin1Char('.'));
    const QStringList b = right.trimmed().split(QLatin1Char('.'));
    const qsizetype count = std::max(a.size(), b.size());
    for (qsizetype i = 0; i < count; ++i) {
        const QStringView x = i < a.size() ? number(a[i]) : QStringView();
        const QStringView y = i < b.size() ? number(b[i]) : QStringView();
        if (const int order = compareNumbers(x, y))
            return order;
    }
    return 0;
}

} // namespace UpdateVersion
