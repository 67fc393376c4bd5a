#include "control/IpcPayload.h"

#include <limits>

namespace IpcPayload {

QString fromBool(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

bool readBool(const IpcDictionary& dictionary, const QString& key, bool absentValue)
{
    const auto found = dictionary.constFind(key);
    if (found == dictionary.constEnd())
        return absentValue;
    return *found == QLatin1String("1");
}

QString readText(const IpcDictionary& dictionary, const QString& key)
{
    return dictionary.value(key, QStringLiteral(""));
}

QString fromInt32(qint32 value)
{
    return QString::number(value);
}

qint32 parseInt32(QStringView text)
{
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    if (text.isEmpty())
        return 0;
    // Checked digit by digit against the limit of its sign: -2147483648 fits, and the
    // 64-bit sum never overflows however long the text.
    const qint64 limit =
        negative ? -qint64(std::numeric_limits<qint32>::min()) : qint64(std::numeric_limits<qint32>::max());
    qint64 magnitude = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return 0;
        magnitude = magnitude * 10 + (c.unicode() - u'0');
        if (magnitude > limit)
            return 0;
    }
    return static_cast<qint32>(negative ? -magnitude : magnitude);
}

qint32 readInt32(const IpcDictionary& dictionary, const QString& key)
{
    const auto found = dictionary.constFind(key);
    return found == dictionary.constEnd() ? 0 : parseInt32(*found);
}

} // namespace IpcPayload
