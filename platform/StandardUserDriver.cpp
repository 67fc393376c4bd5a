#include "platform/StandardUserDriver.h"

#include "platform/UpdateFoundDialog.h"
#include "platform/UpdateProgressDialog.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <utility>

namespace {

// Runs a stored answer once: it is taken out before it runs, so a second call (or one made
// from inside the answer) finds nothing.
template <typename Function, typename... Arguments> void callOnce(Function& function, Arguments&&... arguments)
{
    Function taken = std::exchange(function, Function());
    if (taken)
        taken(std::forward<Arguments>(arguments)...);
}

void boldTitle(QMessageBox* box)
{
    if (auto* title = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont font = title->font();
        font.setBold(true);
        title->setFont(font);
    }
}

} // namespace

StandardUserDriver::StandardUserDriver(Bundle hostBundle, QObject* parent)
    : QObject(parent), m_hostBundle(std::move(hostBundle))
{
}

StandardUserDriver::~StandardUserDriver()
{
    dismissUpdateInstallation();
    closeAlert();
    if (m_permissionRequest) {
        m_permissionRequest->disconnect(this);
        delete m_permissionRequest;
    }
}

QString StandardUserDriver::applicationName() const
{
    return m_hostBundle.string(QStringLiteral("CFBundleName")).value_or(QStringLiteral("Norvane"));
}

QString StandardUserDriver::installedVersion() const
{
    const auto shortVersion = m_hostBundle.string(QStringLiteral("CFBundleShortVersionString"));
    return shortVersion ? *shortVersion : m_hostBundle.string(QStringLiteral("CFBundleVersion")).value_or(QString());
}

void StandardUserDriver::showUpdatePermissionRequest(std::function<void(bool)> reply)
{
    if (m_permissionRequest) {
        m_permissionRequest->disconnect(this);
        m_permissionRequest->close();
    }
    auto* box = new QMessageBox;
    box->setObjectName(QStringLiteral("updatePermissionRequest"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Question);
    box->setWindowTitle(tr("Software Update"));
    box->setText(tr("Check for updates automatically?"));
    box->setInformativeText(tr("Should %1 look for new versions on its own? You can always check from the Advanced "
                               "page.")
                                .arg(applicationName()));
    QPushButton* automatic = box->addButton(tr("Check Automatically"), QMessageBox::AcceptRole);
    automatic->setObjectName(QStringLiteral("checkAutomaticallyButton"));
    QPushButton* manual = box->addButton(tr("Don't Check"), QMessageBox::RejectRole);
    manual->setObjectName(QStringLiteral("dontCheckButton"));
    box->setDefaultButton(automatic);
    box->setEscapeButton(manual);
    boldTitle(box);
    connect(box, &QDialog::finished, this, [this, box, automatic, reply = std::move(reply)]() mutable {
        if (m_permissionRequest == box)
            m_permissionRequest = nullptr;
        callOnce(reply, box->clickedButton() == automatic);
    });
    m_permissionRequest = box;
    present(box);
}

void StandardUserDriver::showUserInitiatedUpdateCheckWithCancellation(std::function<void()> cancellation)
{
    m_cancellation = std::move(cancellation);
    UpdateProgressDialog* dialog = progress();
    dialog->showChecking();
    present(dialog);
}

void StandardUserDriver::showUpdateFoundWithAppcastItem(const AppcastItem& item, UpdateItemState state,
                                                        std::function<void(UpdateChoice)> reply)
{
    closeProgress();
    closeUpdateFound();
    auto* dialog = new UpdateFoundDialog(applicationName(), installedVersion(), item, state);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &UpdateFoundDialog::chosen, this,
            [reply = std::move(reply)](UpdateChoice choice) mutable { callOnce(reply, choice); });
    connect(dialog, &QDialog::finished, this, [this, dialog] {
        if (m_updateFound == dialog)
            m_updateFound = nullptr;
    });
    m_updateFound = dialog;
    present(dialog);
}

void StandardUserDriver::showUpdateReleaseNotesWithDownloadData(const QByteArray& data)
{
    if (m_updateFound)
        m_updateFound->setReleaseNotes(QString::fromUtf8(data));
}

void StandardUserDriver::showUpdateReleaseNotesFailedToDownloadWithError(const UpdateError&)
{
    if (m_updateFound)
        m_updateFound->showReleaseNotesUnavailable();
}

void StandardUserDriver::showUpdateNotFoundWithError(const UpdateError&, std::function<void()> acknowledgement)
{
    closeProgress();
    showAlert(tr("You're up to date!"),
              tr("%1 %2 is the newest version available.").arg(applicationName(), installedVersion()), QString(),
              false, std::move(acknowledgement));
}

void StandardUserDriver::showUpdaterError(const UpdateError& error, std::function<void()> acknowledgement)
{
    closeProgress();
    closeUpdateFound();
    showAlert(tr("Update Error"), tr("%1 could not be updated.").arg(applicationName()),
              error.description.isEmpty() ? tr("An unknown error occurred.") : error.description, true,
              std::move(acknowledgement));
}

void StandardUserDriver::showDownloadInitiatedWithCancellation(std::function<void()> cancellation)
{
    m_cancellation = std::move(cancellation);
    UpdateProgressDialog* dialog = progress();
    dialog->showDownloading();
    present(dialog);
}

void StandardUserDriver::showDownloadDidReceiveExpectedContentLength(quint64 expectedContentLength)
{
    if (m_progress)
        m_progress->setExpectedLength(expectedContentLength);
}

void StandardUserDriver::showDownloadDidReceiveDataOfLength(quint64 length)
{
    if (m_progress)
        m_progress->addReceivedLength(length);
}

void StandardUserDriver::showDownloadDidStartExtractingUpdate()
{
    // Unpacking cannot be stopped half-way; the download's cancellation no longer applies.
    m_cancellation = {};
    progress()->showExtracting();
}

void StandardUserDriver::showExtractionReceivedProgress(double progress)
{
    if (m_progress)
        m_progress->setExtractionProgress(progress);
}

void StandardUserDriver::showReadyToInstallAndRelaunch(std::function<void(UpdateChoice)> reply)
{
    m_cancellation = {};
    m_readyReply = std::move(reply);
    UpdateProgressDialog* dialog = progress();
    dialog->showReadyToInstall();
    present(dialog);
}

void StandardUserDriver::showInstallingUpdateWithApplicationTerminated(bool, std::function<void()>)
{
    // Nothing else has to quit for the swap: no need to offer a retry.
    UpdateProgressDialog* dialog = progress();
    if (dialog->stage() != UpdateProgressDialog::Stage::installing)
        dialog->showInstalling();
    present(dialog);
}

void StandardUserDriver::showUpdateInstalledAndRelaunched(bool relaunched, std::function<void()> acknowledgement)
{
    closeProgress();
    if (relaunched) {
        // The new version is starting: it speaks for itself.
        callOnce(acknowledgement);
        return;
    }
    showAlert(tr("Update Installed"),
              tr("%1 has been updated. The new version starts the next time you open %1.").arg(applicationName()),
              QString(), false, std::move(acknowledgement));
}

void StandardUserDriver::showUpdateInFocus()
{
    for (QWidget* window : {static_cast<QWidget*>(m_alert), static_cast<QWidget*>(m_progress),
                            static_cast<QWidget*>(m_updateFound), static_cast<QWidget*>(m_permissionRequest)}) {
        if (window) {
            present(window);
            return;
        }
    }
}

void StandardUserDriver::dismissUpdateInstallation()
{
    // An alert stays until the user has read it: its acknowledgement is all it waits for.
    m_cancellation = {};
    m_readyReply = {};
    closeProgress();
    closeUpdateFound();
}

UpdateProgressDialog* StandardUserDriver::progress()
{
    if (m_progress)
        return m_progress;
    auto* dialog = new UpdateProgressDialog(applicationName());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &UpdateProgressDialog::cancelled, this, [this] { callOnce(m_cancellation); });
    connect(dialog, &UpdateProgressDialog::readyToInstallChosen, this,
            [this](UpdateChoice choice) { callOnce(m_readyReply, choice); });
    connect(dialog, &QDialog::finished, this, [this, dialog] {
        if (m_progress == dialog)
            m_progress = nullptr;
    });
    m_progress = dialog;
    return dialog;
}

void StandardUserDriver::closeProgress()
{
    if (UpdateProgressDialog* dialog = m_progress) {
        m_progress = nullptr;
        dialog->disconnect(this);
        dialog->dismissQuietly();
    }
}

void StandardUserDriver::closeUpdateFound()
{
    if (UpdateFoundDialog* dialog = m_updateFound) {
        m_updateFound = nullptr;
        dialog->disconnect(this);
        dialog->dismissQuietly();
    }
}

void StandardUserDriver::closeAlert()
{
    if (QMessageBox* box = m_alert) {
        m_alert = nullptr;
        box->disconnect(this);
        box->close();
    }
}

QMessageBox* StandardUserDriver::showAlert(const QString& title, const QString& text, const QString& detail,
                                           bool warning, std::function<void()> acknowledgement)
{
    closeAlert();
    auto* box = new QMessageBox;
    box->setObjectName(QStringLiteral("updateAlert"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(warning ? QMessageBox::Warning : QMessageBox::Information);
    box->setWindowTitle(tr("Software Update"));
    box->setText(title);
    box->setInformativeText(detail.isEmpty() ? text : text + QStringLiteral("\n\n") + detail);
    box->setStandardButtons(QMessageBox::Ok);
    boldTitle(box);
    connect(box, &QDialog::finished, this, [this, box, acknowledgement = std::move(acknowledgement)]() mutable {
        if (m_alert == box)
            m_alert = nullptr;
        callOnce(acknowledgement);
    });
    m_alert = box;
    present(box);
    return box;
}

void StandardUserDriver::present(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
}
