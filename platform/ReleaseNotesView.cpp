#include "platform/ReleaseNotesView.h"

#include <QDesktopServices>

namespace {

std::function<void(const QUrl&)>& configuredOpener()
{
    static std::function<void(const QUrl&)> opener;
    return opener;
}

} // namespace

ReleaseNotesView::ReleaseNotesView(QWidget* parent) : QTextBrowser(parent)
{
    setObjectName(QStringLiteral("releaseNotes"));
    setAccessibleName(tr("Release notes"));
    // Links never navigate inside the view: a page of the web has no place here.
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &ReleaseNotesView::openLink);
}

void ReleaseNotesView::setNotes(const QString& notes)
{
    if (Qt::mightBeRichText(notes))
        setHtml(notes);
    else
        setPlainText(notes);
}

bool ReleaseNotesView::isOpenableLink(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() && (scheme == QLatin1String("https") || scheme == QLatin1String("http"));
}

void ReleaseNotesView::setLinkOpener(std::function<void(const QUrl&)> opener)
{
    configuredOpener() = std::move(opener);
}

QVariant ReleaseNotesView::loadResource(int, const QUrl&)
{
    // Notes come from the network: they get no access to files or further downloads.
    return {};
}

void ReleaseNotesView::openLink(const QUrl& url)
{
    if (!isOpenableLink(url))
        return;
    if (const auto& opener = configuredOpener())
        opener(url);
    else
        QDesktopServices::openUrl(url);
}
