#pragma once

#include <QTextBrowser>

#include <functional>

// Release notes from an update feed: HTML shown as text, nothing loaded from anywhere
// (no images, style sheets or local files the notes may name), and links opened in the
// default browser when they are web addresses.
class ReleaseNotesView : public QTextBrowser
{
    Q_OBJECT

public:
    explicit ReleaseNotesView(QWidget* parent = nullptr);

    // Shows the notes; text that is not HTML is shown as plain text.
    void setNotes(const QString& notes);

    // Whether a link of the notes is opened (http and https only).
    static bool isOpenableLink(const QUrl& url);
    // What a click on an openable link runs; by default the default browser. Tests
    // replace it; an empty function restores the default.
    static void setLinkOpener(std::function<void(const QUrl&)> opener);

    QVariant loadResource(int type, const QUrl& name) override;

private:
    void openLink(const QUrl& url);
};
