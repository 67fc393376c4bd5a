#include "platform/AppcastParser.h"

#include <QXmlStreamReader>

namespace {

const QString sparkleNamespace = QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");

// Elements and attributes of the update namespace are named with the "sparkle:" prefix
// whatever prefix the feed binds to it, so lookups do not depend on the feed's choice.
QString keyOf(QStringView namespaceUri, QStringView name, QStringView qualifiedName)
{
    if (namespaceUri == sparkleNamespace)
        return QStringLiteral("sparkle:") + name.toString();
    return qualifiedName.toString();
}

quint64 lengthOf(const QString& text)
{
    bool ok = false;
    const quint64 value = text.trimmed().toULongLong(&ok);
    return ok ? value : 0;
}

QUrl urlOf(const QString& text)
{
    const QString trimmed = text.trimmed();
    return trimmed.isEmpty() ? QUrl() : QUrl(trimmed, QUrl::StrictMode);
}

AppcastItem readItem(QXmlStreamReader& xml)
{
    AppcastItem item;
    QVariantMap properties;
    QVariantMap enclosure;
    while (xml.readNextStartElement()) {
        const QString key = keyOf(xml.namespaceUri(), xml.name(), xml.qualifiedName());
        if (key == QLatin1String("enclosure") && enclosure.isEmpty()) {
            for (const QXmlStreamAttribute& attribute : xml.attributes())
                enclosure.insert(keyOf(attribute.namespaceUri(), attribute.name(), attribute.qualifiedName()),
                                 attribute.value().toString());
            xml.skipCurrentElement();
            continue;
        }
        const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        if (!properties.contains(key))
            properties.insert(key, text);
    }

    item.title = properties.value(QStringLiteral("title")).toString().trimmed();
    item.itemDescription = properties.value(QStringLiteral("description")).toString();
    item.releaseNotesURL = urlOf(properties.value(QStringLiteral("sparkle:releaseNotesLink")).toString());
    const QString date = properties.value(QStringLiteral("pubDate")).toString().trimmed();
    if (!date.isEmpty())
        item.date = QDateTime::fromString(date, Qt::RFC2822Date);

    // Older feeds carry the versions on the enclosure.
    const auto versionText = [&](const QString& key) {
        const QString element = properties.value(key).toString().trimmed();
        return element.isEmpty() ? enclosure.value(key).toString().trimmed() : element;
    };
    item.versionString = versionText(QStringLiteral("sparkle:version"));
    item.displayVersionString = versionText(QStringLiteral("sparkle:shortVersionString"));
    if (item.displayVersionString.isEmpty())
        item.displayVersionString = item.versionString;

    if (!enclosure.isEmpty()) {
        item.fileURL = urlOf(enclosure.value(QStringLiteral("url")).toString());
        item.contentLength = lengthOf(enclosure.value(QStringLiteral("length")).toString());
        item.edSignature = enclosure.value(QStringLiteral("sparkle:edSignature")).toString().trimmed();
        properties.insert(QStringLiteral("enclosure"), enclosure);
    }
    item.properties = properties;
    return item;
}

} // namespace

namespace AppcastParser {

std::optional<Appcast> parse(const QByteArray& document, QString* errorText)
{
    const auto fail = [errorText](const QString& text) {
        if (errorText)
            *errorText = text;
        return std::nullopt;
    };
    if (document.size() > maximumFeedSize)
        return fail(QStringLiteral("The update feed is larger than %1 bytes.").arg(maximumFeedSize));

    QXmlStreamReader xml(document);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("rss")) {
        if (xml.hasError())
            return fail(QStringLiteral("The update feed is not well-formed XML: %1 (line %2).")
                            .arg(xml.errorString())
                            .arg(xml.lineNumber()));
        return fail(QStringLiteral("The update feed is not an RSS document."));
    }

    Appcast appcast;
    bool sawChannel = false;
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("channel") || !xml.namespaceUri().isEmpty()) {
            xml.skipCurrentElement();
            continue;
        }
        sawChannel = true;
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("item") && xml.namespaceUri().isEmpty())
                appcast.items.append(readItem(xml));
            else
                xml.skipCurrentElement();
        }
    }
    if (!xml.hasError()) {
        // Anything after the root element must still be well-formed.
        while (!xml.atEnd())
            xml.readNext();
    }
    if (xml.hasError())
        return fail(QStringLiteral("The update feed is not well-formed XML: %1 (line %2).")
                        .arg(xml.errorString())
                        .arg(xml.lineNumber()));
    if (!sawChannel)
        return fail(QStringLiteral("The update feed has no channel."));
    return appcast;
}

} // namespace AppcastParser
