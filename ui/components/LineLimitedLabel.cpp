#include "ui/components/LineLimitedLabel.h"

#include "ui/components/Accessibility.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>

namespace {

QString withoutTrailingSpace(QString line)
{
    qsizetype end = line.size();
    while (end > 0 && (line[end - 1].isSpace() || line[end - 1] == QChar::LineSeparator))
        --end;
    line.truncate(end);
    return line;
}

} // namespace

LineLimitedLabel::LineLimitedLabel(int maximumLineCount, QWidget* parent)
    : QWidget(parent), m_maximumLineCount(std::max(1, maximumLineCount))
{
    // Painted by hand: screen readers get the text through the accessible name.
    Accessibility::install();
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void LineLimitedLabel::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    updateGeometry();
    update();
    Accessibility::nameChanged(this);
}

void LineLimitedLabel::setColor(const QColor& color)
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, color);
    setPalette(palette);
}

QStringList LineLimitedLabel::displayedLines() const
{
    return linesForWidth(width());
}

QStringList LineLimitedLabel::linesForWidth(int width) const
{
    QStringList lines;
    if (m_text.isEmpty() || width <= 0)
        return lines;

    const bool cut = m_text.size() > laidOutCharacters;
    QString text = m_text.left(laidOutCharacters);
    text.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    text.replace(QLatin1Char('\r'), QChar::LineSeparator);

    const QFontMetrics metrics(font());
    QTextLayout layout(text, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    while (lines.size() < m_maximumLineCount) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        const qsizetype start = line.textStart();
        const qsizetype end = start + line.textLength();
        const QString piece = withoutTrailingSpace(text.mid(start, end - start));
        const bool last = lines.size() == m_maximumLineCount - 1;
        if (last && (end < text.size() || cut)) {
            QString rest = text.mid(start);
            rest.replace(QChar::LineSeparator, QLatin1Char(' '));
            QString shown = metrics.elidedText(rest, Qt::ElideRight, width);
            // What follows fits on the line only because its line breaks were dropped:
            // still say that the text goes on.
            if (shown == rest)
                shown = metrics.elidedText(piece + QChar(0x2026), Qt::ElideRight, width);
            lines << shown;
        } else {
            lines << piece;
        }
    }
    layout.endLayout();
    return lines;
}

QSize LineLimitedLabel::sizeHint() const
{
    const QStringList lines = linesForWidth(hintWidth());
    const QFontMetrics metrics(font());
    int widest = 0;
    for (const QString& line : lines)
        widest = std::max(widest, metrics.horizontalAdvance(line));
    return {widest, int(lines.size()) * metrics.lineSpacing()};
}

QSize LineLimitedLabel::minimumSizeHint() const
{
    return {0, heightForWidth(hintWidth())};
}

bool LineLimitedLabel::hasHeightForWidth() const
{
    return true;
}

int LineLimitedLabel::heightForWidth(int width) const
{
    return int(linesForWidth(width).size()) * QFontMetrics(font()).lineSpacing();
}

void LineLimitedLabel::paintEvent(QPaintEvent*)
{
    const QStringList lines = displayedLines();
    if (lines.isEmpty())
        return;
    const QFontMetrics metrics(font());
    int widest = 0;
    for (const QString& line : lines)
        widest = std::max(widest, metrics.horizontalAdvance(line));

    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    const int left = std::max(0, (width() - widest) / 2);
    int baseline = metrics.ascent();
    for (const QString& line : lines) {
        painter.drawText(QPoint(left, baseline), line);
        baseline += metrics.lineSpacing();
    }
}

void LineLimitedLabel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateGeometry();
}

int LineLimitedLabel::hintWidth() const
{
    // A label of fixed or bounded width wraps there; otherwise at the width it has now.
    if (maximumWidth() < QWIDGETSIZE_MAX)
        return maximumWidth();
    return width() > 0 ? width() : 300;
}
