#include "LogEntries.h"

#include "TestEnvironment.h"

#include <QRegularExpression>

namespace LogEntries {

QStringList parse(const QString& text)
{
    static const QRegularExpression prefix(QStringLiteral("^\\[[^\\]\\n]*\\]: "),
                                           QRegularExpression::MultilineOption);
    QStringList entries;
    qsizetype start = -1;
    auto it = prefix.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        if (start >= 0)
            entries << text.mid(start, match.capturedStart() - start - 1); // without the line feed
        start = match.capturedEnd();
    }
    if (start >= 0) {
        QString last = text.mid(start);
        if (last.endsWith(QLatin1Char('\n')))
            last.chop(1);
        entries << last;
    }
    return entries;
}

QStringList read(const QString& filePath)
{
    return parse(TestEnvironment::readFile(filePath));
}

} // namespace LogEntries
