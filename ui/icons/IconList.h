#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// Font Awesome icon names with their code points and styles, read from the icons.json
// that scripts/regenerate-icons.sh writes from the font package's metadata.
class IconList
{
public:
    // The list compiled into the program (":/fontawesome/icons.json"), read once.
    static const IconList& shared();
    // A document that does not parse gives an empty list and a log line; entries without
    // a usable code point are skipped.
    static IconList fromJson(const QByteArray& json);

    // The code point of `name` in `style` ("solid", "regular" or "brands"); none when the
    // icon is unknown or not drawn in that style.
    std::optional<char32_t> codePoint(const QString& name, const QString& style = QStringLiteral("solid")) const;
    QStringList styles(const QString& name) const;
    QStringList names() const;
    qsizetype count() const;

private:
    struct Entry
    {
        char32_t codePoint = 0;
        QStringList styles;
    };
    QHash<QString, Entry> m_icons;
};
