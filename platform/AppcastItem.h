#pragma once

#include <QDateTime>
#include <QString>
#include <QUrl>
#include <QVariantMap>

// One <item> of an appcast.
class AppcastItem
{
public:
    QString title;
    QString versionString;        // sparkle:version, compared with CFBundleVersion
    QString displayVersionString; // sparkle:shortVersionString; the version when absent
    QString itemDescription;      // release notes as HTML (<description>)
    QUrl releaseNotesURL;         // sparkle:releaseNotesLink
    QDateTime date;               // <pubDate>; invalid when absent or unreadable
    QUrl fileURL;                 // the enclosure's url
    quint64 contentLength = 0;    // the enclosure's length; 0 when not given
    QString edSignature;          // the enclosure's sparkle:edSignature (Base64)
    QVariantMap properties;       // see propertiesDictionary()

    // The item as a dictionary: every child element's text by qualified name, and under
    // "enclosure" a QVariantMap with every attribute of the enclosure by its qualified name
    // ("url", "length", "type", "sparkle:edSignature", "channel", ...), all as text.
    QVariantMap propertiesDictionary() const { return properties; }

    bool hasEnclosure() const { return fileURL.isValid() && !fileURL.isEmpty(); }
};
