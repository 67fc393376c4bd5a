#include "core/UrlEncoding.h"

#include <QStringList>
#include <QUrl>

namespace UrlEncoding {

QString urlQueryAllowed(const QString& text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text, QByteArrayLiteral("!$&'()*+,/:;=?@")));
}

QString urlHostAllowed(const QString& text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text, QByteArrayLiteral("!$&'()*+,;=:[]")));
}

QString queryComponent(const QString& text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text, QByteArrayLiteral("/?")));
}

QString query(const QMap<QString, QString>& parameters)
{
    QStringList pairs;
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it)
        pairs << queryComponent(it.key()) + QLatin1Char('=') + queryComponent(it.value());
    return pairs.join(QLatin1Char('&'));
}

} // namespace UrlEncoding
