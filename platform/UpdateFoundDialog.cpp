#include "platform/UpdateFoundDialog.h"

#include "platform/ReleaseNotesView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* wrappedLabel(const QString& objectName, const QString& text)
{
    auto* label = new QLabel(text);
    label->setObjectName(objectName);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPushButton* button(const QString& objectName, const QString& text)
{
    auto* button = new QPushButton(text);
    button->setObjectName(objectName);
    button->setAutoDefault(false);
    return button;
}

} // namespace

UpdateFoundDialog::UpdateFoundDialog(const QString& applicationName, const QString& installedVersion,
                                     const AppcastItem& item, UpdateItemState state, QWidget* parent)
    : QDialog(parent), m_releaseNotes(new ReleaseNotesView), m_releaseNotesTitle(new QLabel(tr("Release Notes:")))
{
    setObjectName(QStringLiteral("updateFoundDialog"));
    setWindowTitle(tr("Software Update"));
    setMinimumSize(520, 420);

    const QString offered = item.displayVersionString.isEmpty() ? item.versionString : item.displayVersionString;
    auto* headline = wrappedLabel(QStringLiteral("headline"), tr("A new version of %1 is available!").arg(applicationName));
    QFont bold = headline->font();
    bold.setBold(true);
    if (bold.pixelSize() > 0)
        bold.setPixelSize(bold.pixelSize() * 115 / 100);
    else
        bold.setPointSizeF(bold.pointSizeF() * 1.15);
    headline->setFont(bold);

    const QString question = state.stage == UpdateItemState::Stage::notDownloaded
                                 ? tr("Would you like to download and install it now?")
                                 : tr("It is ready to install. Would you like to install it now?");
    auto* message = wrappedLabel(QStringLiteral("message"),
                                 tr("%1 %2 is now available (you have %3). %4")
                                     .arg(applicationName, offered, installedVersion, question));

    m_releaseNotesTitle->setObjectName(QStringLiteral("releaseNotesTitle"));
    QFont titleFont = m_releaseNotesTitle->font();
    titleFont.setBold(true);
    m_releaseNotesTitle->setFont(titleFont);
    m_releaseNotesTitle->setBuddy(m_releaseNotes);
    if (!item.itemDescription.trimmed().isEmpty())
        m_releaseNotes->setNotes(item.itemDescription);
    else if (!item.releaseNotesURL.isEmpty())
        m_releaseNotes->setPlainText(tr("Loading release notes…"));
    else {
        m_releaseNotesTitle->hide();
        m_releaseNotes->hide();
    }

    auto* skip = button(QStringLiteral("skipButton"), tr("Skip This Version"));
    auto* later = button(QStringLiteral("laterButton"), tr("Remind Me Later"));
    auto* install = button(QStringLiteral("installButton"),
                           state.stage == UpdateItemState::Stage::notDownloaded ? tr("Install Update")
                                                                                : tr("Install and Relaunch"));
    install->setDefault(true);
    connect(skip, &QPushButton::clicked, this, [this] { answer(UpdateChoice::skip); });
    connect(later, &QPushButton::clicked, this, [this] { answer(UpdateChoice::dismiss); });
    connect(install, &QPushButton::clicked, this, [this] { answer(UpdateChoice::install); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(skip);
    buttons->addStretch(1);
    buttons->addWidget(later);
    buttons->addWidget(install);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(20, 20, 20, 16);
    stack->setSpacing(10);
    stack->addWidget(headline);
    stack->addWidget(message);
    stack->addSpacing(6);
    stack->addWidget(m_releaseNotesTitle);
    stack->addWidget(m_releaseNotes, 1);
    stack->addSpacing(6);
    stack->addLayout(buttons);
    install->setFocus();
}

void UpdateFoundDialog::setReleaseNotes(const QString& html)
{
    m_releaseNotesTitle->show();
    m_releaseNotes->show();
    m_releaseNotes->setNotes(html);
}

void UpdateFoundDialog::showReleaseNotesUnavailable()
{
    if (m_releaseNotes->isHidden())
        return;
    m_releaseNotes->setPlainText(tr("The release notes could not be loaded."));
}

void UpdateFoundDialog::dismissQuietly()
{
    m_answered = true;
    QDialog::done(Rejected);
}

void UpdateFoundDialog::done(int result)
{
    // Closing the window or pressing Escape is "not now".
    if (!m_answered) {
        answer(UpdateChoice::dismiss);
        return;
    }
    QDialog::done(result);
}

void UpdateFoundDialog::answer(UpdateChoice choice)
{
    if (m_answered)
        return;
    m_answered = true;
    emit chosen(choice);
    QDialog::done(choice == UpdateChoice::install ? Accepted : Rejected);
}
