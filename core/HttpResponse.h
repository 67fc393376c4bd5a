#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <optional>

// The HTTP response a request received: status, header fields in the order they came,
// and the final address after redirects.
struct HttpResponse
{
    int statusCode = 0;
    QUrl url;
    QList<QPair<QByteArray, QByteArray>> headers;

    std::optional<QString> header(const QByteArray& name) const
    {
        for (const auto& field : headers) {
            if (field.first.compare(name, Qt::CaseInsensitive) == 0)
                return QString::fromLatin1(field.second);
        }
        return std::nullopt;
    }
    // "type/subtype" of the Content-Type field, lower case; empty without one.
    QString mimeType() const
    {
        const QString type = header("Content-Type").value_or(QString());
        return type.section(QLatin1Char(';'), 0, 0).trimmed().toLower();
    }
    // The charset parameter of the Content-Type field; empty without one.
    QString textEncodingName() const
    {
        const QStringList parts = header("Content-Type").value_or(QString()).split(QLatin1Char(';'));
        for (qsizetype i = 1; i < parts.size(); ++i) {
            const QString part = parts[i].trimmed();
            if (part.startsWith(QStringLiteral("charset="), Qt::CaseInsensitive)) {
                QString name = part.mid(8).trimmed();
                if (name.size() >= 2 && name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"')))
                    name = name.mid(1, name.size() - 2);
                return name.toLower();
            }
        }
        return {};
    }
};
