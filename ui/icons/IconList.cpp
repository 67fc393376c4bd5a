#include "ui/icons/IconList.h"

#include "core/Log.h"
#include "ui/icons/IconFont.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

const IconList& IconList::shared()
{
    static const IconList instance = [] {
        IconFont::registerResources();
        QFile file(QStringLiteral(":/fontawesome/icons.json"));
        if (!file.open(QIODevice::ReadOnly)) {
            log(QStringLiteral("IconList: the icon list is missing from the resources"));
            return IconList();
        }
        return fromJson(file.readAll());
    }();
    return instance;
}

IconList IconList::fromJson(const QByteArray& json)
{
    IconList list;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    const QJsonValue icons = document.object().value(QStringLiteral("icons"));
    if (error.error != QJsonParseError::NoError || !icons.isObject()) {
        log(QStringLiteral("IconList: the icon list does not parse (%1); no icons")
                .arg(error.error != QJsonParseError::NoError ? error.errorString() : QStringLiteral("no icons object")));
        return list;
    }
    const QJsonObject object = icons.toObject();
    int skipped = 0;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QJsonObject icon = it.value().toObject();
        bool ok = false;
        const uint codePoint = icon.value(QStringLiteral("unicode")).toString().toUInt(&ok, 16);
        if (!ok || codePoint == 0 || codePoint > 0x10FFFF) {
            ++skipped;
            continue;
        }
        Entry entry;
        entry.codePoint = codePoint;
        for (const QJsonValue& style : icon.value(QStringLiteral("styles")).toArray())
            entry.styles.append(style.toString());
        list.m_icons.insert(it.key(), entry);
    }
    if (skipped > 0)
        log(QStringLiteral("IconList: skipped %1 icons without a code point").arg(skipped));
    return list;
}

std::optional<char32_t> IconList::codePoint(const QString& name, const QString& style) const
{
    const auto it = m_icons.constFind(name);
    if (it == m_icons.constEnd() || !it->styles.contains(style))
        return std::nullopt;
    return it->codePoint;
}

QStringList IconList::styles(const QString& name) const
{
    return m_icons.value(name).styles;
}

QStringList IconList::names() const
{
    QStringList names = m_icons.keys();
    names.sort();
    return names;
}

qsizetype IconList::count() const
{
    return m_icons.size();
}
