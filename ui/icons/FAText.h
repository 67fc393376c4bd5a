#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QWidget>

// One Font Awesome 5 Free solid icon, named as on fontawesome.com ("history", "user-lock"),
// drawn at `iconSize` pixels. Its colour is the widget's foreground colour (inherited from
// the parent's palette, like text) unless one is set. A name without a solid icon draws
// nothing and is logged once.
class FAText : public QWidget
{
    Q_OBJECT

public:
    FAText(const QString& iconName, qreal iconSize, QWidget* parent = nullptr);

    QString iconName() const;
    void setIconName(const QString& iconName);
    qreal iconSize() const;
    void setIconSize(qreal iconSize);
    // An invalid colour (the default) means the foreground colour of the palette.
    QColor color() const;
    void setColor(const QColor& color);
    // False when the name has no solid icon and nothing is drawn.
    bool hasGlyph() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The icon alone on a transparent ground, for buttons, menus and the tray; a null
    // pixmap or icon for an unknown name.
    static QPixmap pixmap(const QString& iconName, qreal iconSize, const QColor& color,
                          qreal devicePixelRatio = 1.0);
    static QIcon icon(const QString& iconName, qreal iconSize, const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void resolve();

    QString m_iconName;
    qreal m_iconSize;
    QColor m_color;
    QString m_glyph;
};
