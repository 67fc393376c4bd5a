#include "ui/icons/IconFont.h"

#include "core/Log.h"
#include "ui/icons/IconList.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QSet>

#include <mutex>

QString IconFont::family()
{
    return QStringLiteral("Font Awesome 5 Free");
}

QString IconFont::styleName()
{
    return QStringLiteral("Solid");
}

void IconFont::registerResources()
{
    static std::once_flag once;
    // The resources live in a static library: without this call the linker may drop them.
    std::call_once(once, [] { Q_INIT_RESOURCE(fontawesome); });
}

bool IconFont::load()
{
    static std::mutex mutex;
    static std::optional<bool> loaded;
    std::lock_guard lock(mutex);
    if (loaded)
        return *loaded;
    if (!QGuiApplication::instance())
        return false;
    registerResources();
    const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/fontawesome/fa-solid-900.ttf"));
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    loaded = id >= 0 && families.contains(family());
    if (!*loaded)
        log(QStringLiteral("FAText: the icon font could not be loaded (families: %1); icons stay empty")
                .arg(families.join(QStringLiteral(", "))));
    return *loaded;
}

QFont IconFont::font(qreal size)
{
    load();
    QFont font(family());
    font.setStyleName(styleName());
    font.setPixelSize(qMax(1, qRound(size)));
    // An icon is drawn from this face or not at all, never from a substitute font.
    font.setStyleStrategy(QFont::NoFontMerging);
    return font;
}

std::optional<QString> IconFont::glyph(const QString& iconName)
{
    if (const auto codePoint = IconList::shared().codePoint(iconName, QStringLiteral("solid")))
        return QString::fromUcs4(&*codePoint, 1);

    static std::mutex mutex;
    static QSet<QString> reported;
    bool first = false;
    {
        std::lock_guard lock(mutex);
        if (!reported.contains(iconName)) {
            reported.insert(iconName);
            first = true;
        }
    }
    if (first)
        log(QStringLiteral("FAText: no solid icon named \"%1\"; nothing drawn").arg(iconName));
    return std::nullopt;
}
