#include "ui/icons/FAText.h"

#include "ui/icons/IconFont.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace {

// The glyph's advance by the face's line height, as a line of text holding it.
QSize glyphBox(const QFont& font, const QString& glyph)
{
    const QFontMetricsF metrics(font);
    const qreal width = glyph.isEmpty() ? 0 : metrics.horizontalAdvance(glyph);
    return QSize(int(std::ceil(width)), int(std::ceil(metrics.height())));
}

void drawGlyph(QPainter& painter, const QRect& rect, const QFont& font, const QString& glyph, const QColor& color)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(rect, Qt::AlignCenter, glyph);
}

} // namespace

FAText::FAText(const QString& iconName, qreal iconSize, QWidget* parent)
    : QWidget(parent), m_iconName(iconName), m_iconSize(iconSize)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    resolve();
}

QString FAText::iconName() const
{
    return m_iconName;
}

void FAText::setIconName(const QString& iconName)
{
    if (iconName == m_iconName)
        return;
    m_iconName = iconName;
    resolve();
}

qreal FAText::iconSize() const
{
    return m_iconSize;
}

void FAText::setIconSize(qreal iconSize)
{
    if (qFuzzyCompare(iconSize, m_iconSize))
        return;
    m_iconSize = iconSize;
    resolve();
}

QColor FAText::color() const
{
    return m_color;
}

void FAText::setColor(const QColor& color)
{
    m_color = color;
    update();
}

bool FAText::hasGlyph() const
{
    return !m_glyph.isEmpty();
}

QSize FAText::sizeHint() const
{
    return glyphBox(IconFont::font(m_iconSize), m_glyph);
}

QSize FAText::minimumSizeHint() const
{
    return sizeHint();
}

QPixmap FAText::pixmap(const QString& iconName, qreal iconSize, const QColor& color, qreal devicePixelRatio)
{
    const auto glyph = IconFont::glyph(iconName);
    if (!glyph)
        return {};
    const QFont font = IconFont::font(iconSize);
    const QSize box = glyphBox(font, *glyph);
    QPixmap pixmap(box * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    drawGlyph(painter, QRect(QPoint(0, 0), box), font, *glyph, color);
    return pixmap;
}

QIcon FAText::icon(const QString& iconName, qreal iconSize, const QColor& color)
{
    QIcon icon;
    for (const qreal ratio : {1.0, 2.0}) {
        const QPixmap image = pixmap(iconName, iconSize, color, ratio);
        if (image.isNull())
            return {};
        icon.addPixmap(image);
    }
    return icon;
}

void FAText::paintEvent(QPaintEvent*)
{
    if (m_glyph.isEmpty())
        return;
    QPainter painter(this);
    const QColor color = m_color.isValid() ? m_color : palette().color(foregroundRole());
    drawGlyph(painter, rect(), IconFont::font(m_iconSize), m_glyph, color);
}

void FAText::resolve()
{
    m_glyph = IconFont::glyph(m_iconName).value_or(QString());
    updateGeometry();
    update();
}
