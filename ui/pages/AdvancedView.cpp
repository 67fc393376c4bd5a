#include "ui/pages/AdvancedView.h"

#include "control/AppDelegate.h"
#include "control/IpcConnection.h"
#include "core/ApiClient.h"
#include "core/ApiUrls.h"
#include "core/DataRequest.h"
#include "core/HttpSession.h"
#include "core/SessionData.h"
#include "platform/UserDefaults.h"
#include "ui/Fonts.h"
#include "ui/icons/FAText.h"
#include "ui/styles/PrimaryButtonStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

std::function<void()>& configuredCheckForUpdates()
{
    static std::function<void()> check;
    return check;
}

std::function<void()>& configuredQuit()
{
    static std::function<void()> quit;
    return quit;
}

QLabel* label(const QString& objectName, const QString& text, const QFont& font)
{
    auto* label = new QLabel(text);
    label->setObjectName(objectName);
    label->setFont(font);
    return label;
}

// A primary button whose label is given a fixed width; the style pads around it.
QPushButton* primaryButton(const QString& objectName, const QString& text)
{
    auto* button = new QPushButton(text);
    button->setObjectName(objectName);
    PrimaryButtonStyle::apply(button);
    const QSize size = ButtonStyle::sizeForLabel(QSize(AdvancedView::buttonLabelWidth, button->fontMetrics().height()));
    button->setFixedWidth(size.width());
    return button;
}

// An icon beside its title, vertically centred, 30 apart.
QHBoxLayout* titledRow(QLabel* title, FAText* icon)
{
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(AdvancedView::rowSpacing);
    row->addWidget(title, 0, Qt::AlignVCenter);
    row->addWidget(icon, 0, Qt::AlignVCenter);
    row->addStretch(1);
    return row;
}

QString syncStatusName(SessionObservableObject::SyncStatus status)
{
    switch (status) {
    case SessionObservableObject::SyncStatus::success:
        return QObject::tr("Synchronized");
    case SessionObservableObject::SyncStatus::error:
        return QObject::tr("Synchronization failed");
    case SessionObservableObject::SyncStatus::inProgress:
        return QObject::tr("Synchronizing");
    }
    return {};
}

} // namespace

const QString AdvancedView::explanationText =
    QStringLiteral("To disable the filter for diagnostics or removal, you must submit a request by clicking the "
                   "button below. Norvane will see your request and verify the action.\n\nOnce approved, clicking "
                   "deactivate will stop the filter");

AdvancedView::AdvancedView(SessionObservableObject* sessionModel, LoadingModel* loadingModel, QWidget* parent)
    : QWidget(parent), m_sessionModel(sessionModel), m_loadingModel(loadingModel)
{
    setObjectName(QStringLiteral("AdvancedView"));
    buildLayout();
    if (!m_sessionModel)
        return;
    showUpdateStatus(m_sessionModel->updateStatus());
    showSyncStatus(m_sessionModel->syncStatus());
    connect(m_sessionModel, &SessionObservableObject::updateStatusChanged, this, &AdvancedView::showUpdateStatus);
    connect(m_sessionModel, &SessionObservableObject::syncStatusChanged, this, &AdvancedView::showSyncStatus);
    connect(m_sessionModel, &SessionObservableObject::lastUpdateTimeStringChanged, this,
            [this](const QString& text) { m_lastUpdateText->setText(tr("Last Checked: ") + text); });
    connect(m_sessionModel, &SessionObservableObject::lastSyncTimeStringChanged, this,
            [this](const QString& text) { m_lastSyncText->setText(tr("Last Checked: ") + text); });
}

AdvancedView::UpdatePresentation AdvancedView::updatePresentation(UpdateStatus status)
{
    switch (status) {
    case UpdateStatus::noUpdate:
        return {tr("Up to date"), QStringLiteral("check"), green(), tr("check for updates")};
    case UpdateStatus::hasUpdate:
        return {tr("Update Available"), QStringLiteral("exclamation-circle"), red(), tr("install")};
    case UpdateStatus::error:
        return {tr("Update Error"), QStringLiteral("times"), red(), tr("check for updates")};
    case UpdateStatus::inProgress:
        return {tr("Checking.."), QStringLiteral("sync-alt"), green(), tr("check for updates")};
    }
    return {};
}

AdvancedView::SyncPresentation AdvancedView::syncPresentation(SyncStatus status)
{
    switch (status) {
    case SyncStatus::success:
        return {QStringLiteral("check"), green()};
    case SyncStatus::error:
        return {QStringLiteral("times"), red()};
    case SyncStatus::inProgress:
        return {QStringLiteral("sync-alt"), green()};
    }
    return {};
}

QColor AdvancedView::red()
{
    return QColor::fromRgb(255, 59, 48);
}

QColor AdvancedView::green()
{
    return QColor::fromRgb(40, 205, 65);
}

void AdvancedView::setCheckForUpdates(std::function<void()> check)
{
    configuredCheckForUpdates() = std::move(check);
}

void AdvancedView::setQuit(std::function<void()> quit)
{
    configuredQuit() = std::move(quit);
}

void AdvancedView::checkForUpdatesAction()
{
    if (const auto& check = configuredCheckForUpdates()) {
        check();
        return;
    }
    if (AppDelegate* delegate = AppDelegate::current())
        delegate->updater()->checkForUpdates();
}

void AdvancedView::synchronizeAction()
{
    setSyncDisabled(true);
    QTimer::singleShot(syncDisabledInterval, this, [this] { setSyncDisabled(false); });
    if (!m_sessionModel)
        return;
    m_sessionModel->setSyncStatus(SyncStatus::inProgress);
    IpcConnection::shared().requestSync(m_sessionModel);
}

void AdvancedView::requestDeactivationAction()
{
    if (m_loadingModel)
        m_loadingModel->setIsLoading(true);
    // The page may be gone by the time the reply comes (another page chosen): the busy flag
    // and a granted deactivation are handled all the same.
    ApiClient::session()
        .post(QUrl(ApiUrls::deactivate()), ApiClient::deviceParameters(), ApiClient::headers())
        ->validate()
        .responseString([page = QPointer<AdvancedView>(this),
                         loading = m_loadingModel](const DataResponse<QString>& response) {
            const bool success = response.isSuccess();
            if (page) {
                page->handleDeactivationResponse(success);
                return;
            }
            if (loading)
                loading->setIsLoading(false);
            if (success) {
                UserDefaults::standard().setString(SessionData::authTokenKey, QString());
                if (const auto& quit = configuredQuit())
                    quit();
                else if (AppDelegate* delegate = AppDelegate::current())
                    delegate->quit();
            }
        });
}

void AdvancedView::handleDeactivationResponse(bool success)
{
    if (m_loadingModel)
        m_loadingModel->setIsLoading(false);
    if (!success) {
        setShowDeactivationPending(true);
        return;
    }
    UserDefaults::standard().setString(SessionData::authTokenKey, QString());
    if (const auto& quit = configuredQuit())
        quit();
    else if (AppDelegate* delegate = AppDelegate::current())
        delegate->quit();
}

void AdvancedView::buildLayout()
{
    auto* title = label(QStringLiteral("title"), tr("Advanced"), Fonts::system(titleFontSize));

    auto* columns = new QHBoxLayout;
    columns->setContentsMargins(defaultPadding, defaultPadding, defaultPadding, defaultPadding);
    columns->setSpacing(columnSpacing);
    columns->addStretch(1);
    columns->addWidget(buildUpdateColumn(), 0, Qt::AlignTop);
    columns->addWidget(buildDeactivationColumn(), 0, Qt::AlignTop);
    columns->addStretch(1);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(defaultPadding, defaultPadding, defaultPadding, defaultPadding);
    stack->setSpacing(0);
    stack->addStretch(1);
    stack->addWidget(title, 0, Qt::AlignHCenter);
    stack->addSpacing(blockPadding);
    stack->addLayout(columns);
    stack->addStretch(1);
}

QWidget* AdvancedView::buildUpdateColumn()
{
    auto* column = new QWidget;
    column->setObjectName(QStringLiteral("updateColumn"));
    column->setFixedWidth(columnWidth);

    m_updateStatusText = label(QStringLiteral("updateStatusText"), QString(), Fonts::system(headingFontSize));
    m_updateIcon = new FAText(QString(), iconSize);
    m_updateIcon->setObjectName(QStringLiteral("updateIcon"));
    m_lastUpdateText = label(QStringLiteral("lastUpdateText"),
                             tr("Last Checked: ") + (m_sessionModel ? m_sessionModel->lastUpdateTimeString() : QString()),
                             Fonts::system(detailFontSize));
    m_updateButton = primaryButton(QStringLiteral("updateButton"), QString());
    connect(m_updateButton, &QPushButton::clicked, this, &AdvancedView::checkForUpdatesAction);

    auto* syncTitle = label(QStringLiteral("syncTitle"), tr("Synchronize"), Fonts::system(headingFontSize));
    m_syncIcon = new FAText(QString(), iconSize);
    m_syncIcon->setObjectName(QStringLiteral("syncIcon"));
    m_lastSyncText = label(QStringLiteral("lastSyncText"),
                           tr("Last Checked: ") + (m_sessionModel ? m_sessionModel->lastSyncTimeString() : QString()),
                           Fonts::system(detailFontSize));
    m_syncButton = primaryButton(QStringLiteral("syncButton"), tr("synchronize settings"));
    connect(m_syncButton, &QPushButton::clicked, this, &AdvancedView::synchronizeAction);

    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addLayout(titledRow(m_updateStatusText, m_updateIcon));
    stack->addWidget(m_lastUpdateText, 0, Qt::AlignLeft);
    stack->addWidget(m_updateButton, 0, Qt::AlignLeft);
    stack->addSpacing(blockPadding);
    stack->addLayout(titledRow(syncTitle, m_syncIcon));
    stack->addWidget(m_lastSyncText, 0, Qt::AlignLeft);
    stack->addWidget(m_syncButton, 0, Qt::AlignLeft);
    stack->addSpacing(blockPadding);
    return column;
}

QWidget* AdvancedView::buildDeactivationColumn()
{
    auto* column = new QWidget;
    column->setObjectName(QStringLiteral("deactivationColumn"));
    column->setFixedWidth(columnWidth);

    auto* heading =
        label(QStringLiteral("deactivationHeading"), tr("Request Deactivation"), Fonts::system(headingFontSize));
    auto* explanation = new QLabel(explanationText);
    explanation->setObjectName(QStringLiteral("deactivationExplanation"));
    explanation->setWordWrap(true);
    explanation->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_deactivateButton = primaryButton(QStringLiteral("deactivateButton"), tr("deactivate"));
    connect(m_deactivateButton, &QPushButton::clicked, this, &AdvancedView::requestDeactivationAction);

    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(heading, 0, Qt::AlignHCenter);
    stack->addSpacing(blockPadding);
    stack->addWidget(explanation);
    stack->addSpacing(blockPadding);
    stack->addWidget(m_deactivateButton, 0, Qt::AlignHCenter);
    return column;
}

void AdvancedView::showUpdateStatus(UpdateStatus status)
{
    const UpdatePresentation presentation = updatePresentation(status);
    m_updateStatusText->setText(presentation.statusText);
    m_updateIcon->setIconName(presentation.iconName);
    m_updateIcon->setColor(presentation.iconColor);
    m_updateIcon->setAccessibleName(tr("Update status: %1").arg(presentation.statusText));
    m_updateButton->setText(presentation.buttonLabel);
}

void AdvancedView::showSyncStatus(SyncStatus status)
{
    const SyncPresentation presentation = syncPresentation(status);
    m_syncIcon->setIconName(presentation.iconName);
    m_syncIcon->setColor(presentation.iconColor);
    m_syncIcon->setAccessibleName(tr("Synchronization status: %1").arg(syncStatusName(status)));
}

void AdvancedView::setSyncDisabled(bool disabled)
{
    m_isSyncDisabled = disabled;
    m_syncButton->setEnabled(!disabled);
}

void AdvancedView::setShowDeactivationPending(bool show)
{
    m_showDeactivationPending = show;
    if (!show || m_pendingAlert)
        return;
    auto* alert = new QMessageBox(this);
    alert->setObjectName(QStringLiteral("deactivationPendingAlert"));
    alert->setIcon(QMessageBox::NoIcon);
    alert->setWindowTitle(tr("Request Received"));
    alert->setText(tr("Request Received"));
    alert->setInformativeText(tr("Your activation request has been received, but approval is still pending"));
    alert->setStandardButtons(QMessageBox::Ok);
    if (auto* titleLabel = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont font = titleLabel->font();
        font.setBold(true);
        titleLabel->setFont(font);
    }
    connect(alert, &QDialog::finished, this, [this, alert] {
        alert->deleteLater();
        m_pendingAlert = nullptr;
        setShowDeactivationPending(false);
    });
    m_pendingAlert = alert;
    // Window-modal, without a nested event loop.
    alert->open();
}
