#pragma once

#include <QStringList>
#include <QWidget>

// Plain text wrapped to the label's width and cut to a number of lines, the last one
// elided. The text is never read as markup, so what a server sends is shown as it came.
// The lines are centred as one block, each starting at the block's left edge. Only the
// start of a very long text is laid out, so a huge reply body costs no more than a short one.
class LineLimitedLabel : public QWidget
{
    Q_OBJECT

public:
    static constexpr qsizetype laidOutCharacters = 4096;

    explicit LineLimitedLabel(int maximumLineCount, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);
    int maximumLineCount() const { return m_maximumLineCount; }
    void setColor(const QColor& color);

    // The lines as drawn at the label's present width.
    QStringList displayedLines() const;
    // The same at `width`.
    QStringList linesForWidth(int width) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int hintWidth() const;

    QString m_text;
    int m_maximumLineCount;
};
