#include "ui/pages/HelpAndSupportView.h"

#include "control/CopyLogMessage.h"
#include "control/ExportCertificateMessage.h"
#include "control/IpcConnection.h"
#include "core/Device.h"
#include "core/Log.h"
#include "platform/Deployment.h"
#include "platform/MainQueue.h"
#include "ui/Fonts.h"
#include "ui/components/LinkButton.h"
#include "ui/pages/SupportExport.h"
#include "ui/styles/PrimaryButtonStyle.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int sectionSpacing = 20;
constexpr int itemSpacing = 8;

QLabel* heading(const QString& text, int size, const char* objectName)
{
    auto* label = new QLabel(text);
    label->setObjectName(QLatin1String(objectName));
    label->setFont(Fonts::system(size, QFont::DemiBold));
    label->setAccessibleName(text);
    return label;
}

QPushButton* primaryButton(const QString& text, const char* objectName)
{
    auto* button = new QPushButton(text);
    button->setObjectName(QLatin1String(objectName));
    button->setAccessibleName(text);
    PrimaryButtonStyle::apply(button);
    return button;
}

// The completion of a send that handed a file to the extension. It runs on the sender's
// thread (the main thread, where the pages send from); the file manager is the main
// thread's. At once there, so the files are shown in the order they were asked for.
void revealOrRemoveOnMainThread(bool sent, const QString& path)
{
    if (MainQueue::isMainThread())
        SupportExport::revealOrRemoveExportedFile(sent, path);
    else
        MainQueue::async([sent, path] { SupportExport::revealOrRemoveExportedFile(sent, path); });
}

} // namespace

HelpAndSupportView::HelpAndSupportView(QWidget* parent)
    : QWidget(parent), m_activationIdentifier(Device::fingerprint()),
      m_telephone(new QLabel(Deployment::supportTelephone())),
      m_viewLogFilesButton(primaryButton(tr("view log files"), "viewLogFilesButton")),
      m_exportRootCertificateButton(
          primaryButton(tr("export root certificate"), "exportRootCertificateButton")),
      m_activationIdentifierButton(
          new QPushButton(QLatin1String(activationIdentifierCaption) + m_activationIdentifier))
{
    setObjectName(QStringLiteral("HelpAndSupportView"));

    const QUrl website(Deployment::websiteUrl());
    const QString email = Deployment::supportEmail();
    m_links = {new LinkButton(website.host().isEmpty() ? website.toString() : website.host(), website),
               new LinkButton(tr("Knowledge Base"), QUrl(Deployment::knowledgeBaseUrl())),
               new LinkButton(tr("Release Notes"), QUrl(Deployment::releaseNotesUrl())),
               new LinkButton(email, QUrl(QStringLiteral("mailto:") + email))};
    const char* linkNames[] = {"websiteLink", "knowledgeBaseLink", "releaseNotesLink", "supportEmailLink"};
    for (qsizetype i = 0; i < m_links.size(); ++i)
        m_links[i]->setObjectName(QLatin1String(linkNames[i]));
    m_telephone->setObjectName(QStringLiteral("supportTelephone"));
    m_telephone->setAccessibleName(tr("Support telephone %1").arg(m_telephone->text()));
    m_telephone->setTextInteractionFlags(Qt::TextSelectableByMouse);

    connect(m_viewLogFilesButton, &QPushButton::clicked, this, &HelpAndSupportView::viewLogFiles);
    connect(m_exportRootCertificateButton, &QPushButton::clicked, this,
            &HelpAndSupportView::exportRootCertificate);

    // Reads as text; a click anywhere on it copies the identifier.
    m_activationIdentifierButton->setObjectName(QStringLiteral("activationIdentifierButton"));
    m_activationIdentifierButton->setFlat(true);
    m_activationIdentifierButton->setCursor(Qt::PointingHandCursor);
    m_activationIdentifierButton->setStyleSheet(
        QStringLiteral("QPushButton { border: none; padding: 0px; text-align: left; }"));
    m_activationIdentifierButton->setAccessibleName(m_activationIdentifierButton->text());
    m_activationIdentifierButton->setAccessibleDescription(tr("Copies the activation identifier"));
    connect(m_activationIdentifierButton, &QPushButton::clicked, this,
            &HelpAndSupportView::copyActivationIdentifier);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(20, 20, 20, 20);
    page->setSpacing(itemSpacing);
    page->addWidget(heading(tr("Help & Support"), titleSize, "title"));
    page->addSpacing(sectionSpacing - itemSpacing);
    for (LinkButton* link : std::as_const(m_links))
        page->addWidget(link, 0, Qt::AlignLeft);
    page->addWidget(m_telephone, 0, Qt::AlignLeft);
    page->addSpacing(sectionSpacing);
    page->addWidget(heading(tr("Review Logs"), headingSize, "reviewLogsHeading"));
    page->addWidget(m_viewLogFilesButton, 0, Qt::AlignLeft);
    page->addSpacing(sectionSpacing);
    page->addWidget(heading(tr("Export Root Certificate To File"), headingSize, "exportCertificateHeading"));
    page->addWidget(m_exportRootCertificateButton, 0, Qt::AlignLeft);
    page->addSpacing(sectionSpacing);
    page->addWidget(m_activationIdentifierButton, 0, Qt::AlignLeft);
    page->addStretch(1);
}

void HelpAndSupportView::viewLogFiles()
{
    requestExtensionLog(LogType::goLog, QStringLiteral("golog"));
    requestExtensionLog(LogType::serviceLog, QStringLiteral("service"));
    copyOwnLog();
}

void HelpAndSupportView::requestExtensionLog(LogType type, const QString& name)
{
    const std::optional<SupportExport::ExportFile> file = SupportExport::createExportFile(name);
    if (!file || !file->handle)
        return;
    CopyLogMessage message;
    message.type = type;
    message.handle = file->handle;
    IpcConnection::shared().sendMessage(
        message, [path = file->path](bool sent) { revealOrRemoveOnMainThread(sent, path); });
}

void HelpAndSupportView::copyOwnLog()
{
    std::optional<SupportExport::ExportFile> file = SupportExport::createExportFile(QStringLiteral("gui"));
    if (!file || !file->handle)
        return;
    file->handle.reset();
    QFile source(Log::shared().currentFilePath());
    if (!source.open(QIODevice::ReadOnly))
        return;
    const QByteArray content = source.readAll();
    source.close();
    // Written whole or not at all: a reader never sees half a copy.
    QSaveFile copy(file->path);
    if (copy.open(QIODevice::WriteOnly))
        copy.write(content);
    if (!copy.commit()) {
        log(QStringLiteral("Cannot copy log file ") + copy.errorString());
        return;
    }
    SupportExport::revealOrRemoveExportedFile(true, file->path);
}

void HelpAndSupportView::exportRootCertificate()
{
    const std::optional<SupportExport::ExportFile> file = SupportExport::createCertificateExportFile();
    if (!file || !file->handle)
        return;
    ExportCertificateMessage message;
    message.handle = file->handle;
    IpcConnection::shared().sendMessage(
        message, [path = file->path](bool sent) { revealOrRemoveOnMainThread(sent, path); });
}

void HelpAndSupportView::copyActivationIdentifier()
{
    Device::copyToPasteboard(m_activationIdentifier);
}
