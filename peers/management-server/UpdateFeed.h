#pragma once

#include <QJsonArray>

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

// The update feed and archives the stand-in serves, as the tests set them. Any thread.
class UpdateFeed
{
public:
    struct File
    {
        std::string path;          // on this machine
        std::int64_t truncateAt = -1; // >= 0: the connection closes after that many bytes
    };

    // items: [{"title", "version", "shortVersion", "description", "releaseNotesLink",
    // "pubDate", "enclosure": {attribute: value, ...}}]; padding: bytes of XML comment
    // added before the items (for oversized feeds).
    void setItems(const QJsonArray& items, std::int64_t padding);
    void clear();
    // The RSS document's head (up to and including the padding's start) and the rest.
    std::string head() const;
    std::string tail() const;
    std::int64_t padding() const;

    void setFile(const std::string& name, const File& file);
    std::optional<File> file(const std::string& name) const;

private:
    mutable std::mutex m_mutex;
    QJsonArray m_items;
    std::int64_t m_padding = 0;
    std::map<std::string, File> m_files;
};
