#include "UpdateFeed.h"

#include <QJsonObject>

namespace {

std::string escaped(const QString& text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&apos;")).toStdString();
}

std::string element(const char* name, const QJsonObject& item, const char* key)
{
    const QJsonValue value = item.value(QLatin1String(key));
    if (value.isUndefined())
        return {};
    const QString text = value.isString() ? value.toString() : QString::number(value.toDouble(), 'g', 17);
    return std::string("      <") + name + ">" + escaped(text) + "</" + name + ">\n";
}

} // namespace

void UpdateFeed::setItems(const QJsonArray& items, std::int64_t padding)
{
    std::lock_guard lock(m_mutex);
    m_items = items;
    m_padding = std::max<std::int64_t>(padding, 0);
}

void UpdateFeed::clear()
{
    std::lock_guard lock(m_mutex);
    m_items = {};
    m_padding = 0;
    m_files.clear();
}

std::int64_t UpdateFeed::padding() const
{
    std::lock_guard lock(m_mutex);
    return m_padding;
}

std::string UpdateFeed::head() const
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\" "
           "xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
           "  <channel>\n"
           "    <title>Norvane</title>\n"
           "    <!-- ";
}

std::string UpdateFeed::tail() const
{
    QJsonArray items;
    {
        std::lock_guard lock(m_mutex);
        items = m_items;
    }
    std::string xml = " -->\n";
    for (const QJsonValue& value : items) {
        const QJsonObject item = value.toObject();
        xml += "    <item>\n";
        xml += element("title", item, "title");
        xml += element("sparkle:version", item, "version");
        xml += element("sparkle:shortVersionString", item, "shortVersion");
        xml += element("description", item, "description");
        xml += element("sparkle:releaseNotesLink", item, "releaseNotesLink");
        xml += element("pubDate", item, "pubDate");
        const QJsonObject enclosure = item.value(QLatin1String("enclosure")).toObject();
        if (!enclosure.isEmpty()) {
            xml += "      <enclosure";
            for (auto it = enclosure.begin(); it != enclosure.end(); ++it) {
                const QString text = it.value().isString() ? it.value().toString()
                                                           : QString::number(it.value().toDouble(), 'g', 17);
                xml += " " + it.key().toStdString() + "=\"" + escaped(text) + "\"";
            }
            xml += "/>\n";
        }
        xml += "    </item>\n";
    }
    xml += "  </channel>\n</rss>\n";
    return xml;
}

void UpdateFeed::setFile(const std::string& name, const File& file)
{
    std::lock_guard lock(m_mutex);
    m_files[name] = file;
}

std::optional<UpdateFeed::File> UpdateFeed::file(const std::string& name) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_files.find(name);
    if (found == m_files.end())
        return std::nullopt;
    return found->second;
}
