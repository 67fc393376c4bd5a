#include "platform/UpdateProgressDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The bar counts in thousandths so that byte counts beyond int fit.
constexpr int barMaximum = 1000;

QPushButton* button(const QString& objectName, const QString& text)
{
    auto* button = new QPushButton(text);
    button->setObjectName(objectName);
    button->setAutoDefault(false);
    return button;
}

// Sizes as desktop file managers show them: decimal units, one decimal.
QString dataSize(quint64 bytes)
{
    return QLocale().formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeSIFormat);
}

} // namespace

UpdateProgressDialog::UpdateProgressDialog(const QString& applicationName, QWidget* parent)
    : QDialog(parent), m_applicationName(applicationName), m_status(new QLabel), m_bar(new QProgressBar),
      m_detail(new QLabel), m_cancel(button(QStringLiteral("cancelButton"), tr("Cancel"))),
      m_install(button(QStringLiteral("installButton"), tr("Install and Relaunch"))),
      m_later(button(QStringLiteral("laterButton"), tr("Install on Quit")))
{
    setObjectName(QStringLiteral("updateProgressDialog"));
    setWindowTitle(tr("Updating %1").arg(applicationName));
    setFixedWidth(440);

    m_status->setObjectName(QStringLiteral("statusText"));
    m_status->setWordWrap(true);
    QFont bold = m_status->font();
    bold.setBold(true);
    m_status->setFont(bold);
    m_bar->setObjectName(QStringLiteral("progressBar"));
    m_bar->setTextVisible(false);
    m_detail->setObjectName(QStringLiteral("detailText"));
    m_detail->setWordWrap(true);
    m_bar->setAccessibleName(tr("Update progress"));

    connect(m_cancel, &QPushButton::clicked, this, &UpdateProgressDialog::cancel);
    connect(m_install, &QPushButton::clicked, this, [this] { chooseReady(UpdateChoice::install); });
    connect(m_later, &QPushButton::clicked, this, [this] { chooseReady(UpdateChoice::dismiss); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_later);
    buttons->addWidget(m_install);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(20, 20, 20, 16);
    stack->setSpacing(10);
    stack->addWidget(m_status);
    stack->addWidget(m_bar);
    stack->addWidget(m_detail);
    stack->addLayout(buttons);
    showChecking();
}

void UpdateProgressDialog::showChecking()
{
    setStage(Stage::checking);
    m_status->setText(tr("Checking for updates…"));
    m_bar->setRange(0, 0);
    m_detail->clear();
    fitText();
}

void UpdateProgressDialog::showDownloading()
{
    setStage(Stage::downloading);
    m_status->setText(tr("Downloading update…"));
    m_expected = 0;
    m_received = 0;
    showDownloadProgress();
    fitText();
}

void UpdateProgressDialog::setExpectedLength(quint64 length)
{
    m_expected = length;
    showDownloadProgress();
}

void UpdateProgressDialog::addReceivedLength(quint64 length)
{
    m_received += length;
    showDownloadProgress();
}

void UpdateProgressDialog::showExtracting()
{
    setStage(Stage::extracting);
    m_status->setText(tr("Preparing the update…"));
    m_detail->setText(tr("Checking the signature and unpacking."));
    m_bar->setRange(0, barMaximum);
    m_bar->setValue(0);
    fitText();
}

void UpdateProgressDialog::setExtractionProgress(double progress)
{
    m_bar->setRange(0, barMaximum);
    m_bar->setValue(static_cast<int>(std::clamp(progress, 0.0, 1.0) * barMaximum));
}

void UpdateProgressDialog::showReadyToInstall()
{
    setStage(Stage::readyToInstall);
    m_status->setText(tr("Ready to install"));
    m_detail->setText(
        tr("The update has been downloaded and checked. Install it now and relaunch %1, or have it installed "
           "the next time %1 quits.")
            .arg(m_applicationName));
    m_bar->setRange(0, barMaximum);
    m_bar->setValue(barMaximum);
    m_install->setDefault(true);
    m_install->setFocus();
    fitText();
}

void UpdateProgressDialog::showInstalling()
{
    setStage(Stage::installing);
    m_status->setText(tr("Installing update…"));
    m_detail->setText(tr("%1 will relaunch when the update is in place.").arg(m_applicationName));
    m_bar->setRange(0, 0);
    fitText();
}

void UpdateProgressDialog::dismissQuietly()
{
    m_quiet = true;
    QDialog::done(Rejected);
}

void UpdateProgressDialog::done(int result)
{
    // The window's close button and Escape: cancel what can be cancelled, keep a ready
    // update for the next quit, and stay open while the swap runs.
    if (!m_quiet) {
        switch (m_stage) {
        case Stage::checking:
        case Stage::downloading:
            cancel();
            return;
        case Stage::readyToInstall:
            chooseReady(UpdateChoice::dismiss);
            return;
        case Stage::extracting:
        case Stage::installing:
            return;
        }
    }
    QDialog::done(result);
}

void UpdateProgressDialog::fitText()
{
    // Each stage says more or less: the window grows to its text rather than cutting it.
    if (QLayout* stack = layout())
        stack->activate();
    resize(width(), qMax(minimumSizeHint().height(), heightForWidth(width())));
}

void UpdateProgressDialog::setStage(Stage stage)
{
    m_stage = stage;
    m_cancel->setVisible(stage == Stage::checking || stage == Stage::downloading);
    m_install->setVisible(stage == Stage::readyToInstall);
    m_later->setVisible(stage == Stage::readyToInstall);
}

void UpdateProgressDialog::showDownloadProgress()
{
    if (m_expected == 0) {
        m_bar->setRange(0, 0);
        m_detail->setText(tr("%1 received").arg(dataSize(m_received)));
        return;
    }
    const quint64 shown = std::min(m_received, m_expected);
    m_bar->setRange(0, barMaximum);
    m_bar->setValue(static_cast<int>(static_cast<double>(shown) / static_cast<double>(m_expected) * barMaximum));
    m_detail->setText(tr("%1 of %2").arg(dataSize(shown), dataSize(m_expected)));
}

void UpdateProgressDialog::cancel()
{
    if (m_stage != Stage::checking && m_stage != Stage::downloading)
        return;
    m_quiet = true;
    emit cancelled();
    QDialog::done(Rejected);
}

void UpdateProgressDialog::chooseReady(UpdateChoice choice)
{
    if (m_stage != Stage::readyToInstall)
        return;
    if (choice == UpdateChoice::install) {
        // The window stays while the swap runs.
        showInstalling();
        emit readyToInstallChosen(choice);
        return;
    }
    m_quiet = true;
    emit readyToInstallChosen(choice);
    QDialog::done(Rejected);
}
