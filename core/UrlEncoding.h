#pragma once

#include <QMap>
#include <QString>

// Percent-encoding of query texts.
namespace UrlEncoding {
// Encodes everything outside the characters a URL query may hold as they are
// (letters, digits and !$&'()*+,-./:;=?@_~).
QString urlQueryAllowed(const QString& text);
// Encodes everything outside the characters a URL host may hold as they are (letters,
// digits and -._~!$&'()*+,;=:[]), each UTF-8 byte as "%" and two upper-case hex digits.
QString urlHostAllowed(const QString& text);
// Encodes a query key or value: only letters, digits and -._~/? stay as they are.
QString queryComponent(const QString& text);
// "key=value" pairs joined by "&", keys in sorted order, both sides encoded.
QString query(const QMap<QString, QString>& parameters);
} // namespace UrlEncoding
