#pragma once

#include <QPushButton>
#include <QUrl>

// A text link: accent-coloured, underlined, with a pointing hand; a click opens the URL
// with the desktop's handler (the browser, or the mail program for a mailto: address).
class LinkButton : public QPushButton
{
    Q_OBJECT

public:
    LinkButton(const QString& text, const QUrl& url, QWidget* parent = nullptr);

    QUrl url() const { return m_url; }

private:
    QUrl m_url;
};
