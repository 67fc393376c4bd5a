#include "ui/pages/RelaxedPolicyView.h"

#include "control/AppDelegate.h"
#include "control/IpcConnection.h"
#include "control/RelaxedPolicyMessage.h"
#include "core/Log.h"
#include "core/SessionData.h"
#include "core/SessionObservableObject.h"
#include "platform/Deployment.h"
#include "platform/Workspace.h"
#include "ui/Fonts.h"
#include "ui/components/Alert.h"
#include "ui/pages/PasscodePopup.h"
#include "ui/styles/LinkButtonStyle.h"
#include "ui/styles/PrimaryButtonStyle.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <limits>

namespace {

std::function<AppDelegate*()>& configuredDelegate()
{
    static std::function<AppDelegate*()> delegate;
    return delegate;
}

// The page whose handler is in the link's table, so that a page that goes away removes
// only its own handler, never a newer page's. Main thread only.
RelaxedPolicyView*& registeredPage()
{
    static RelaxedPolicyView* page = nullptr;
    return page;
}

// A row of widgets read from the left, the rest of the width left empty.
QHBoxLayout* leadingRow(std::initializer_list<QWidget*> widgets)
{
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    for (QWidget* widget : widgets)
        row->addWidget(widget, 0, Qt::AlignVCenter);
    row->addStretch(1);
    return row;
}

} // namespace

const QString RelaxedPolicyView::noDurationText = QStringLiteral("Not set");

RelaxedPolicyView::RelaxedPolicyView(SessionObservableObject* sessionModel, QWidget* parent)
    : QWidget(parent), m_sessionModel(sessionModel)
{
    setObjectName(QStringLiteral("RelaxedPolicyView"));
    buildLayout();
    updateCounters();
    if (m_sessionModel) {
        connect(m_sessionModel, &SessionObservableObject::bypassEnabledChanged, this,
                &RelaxedPolicyView::updateCounters);
        connect(m_sessionModel, &SessionObservableObject::bypassesPermittedChanged, this,
                &RelaxedPolicyView::updateCounters);
        connect(m_sessionModel, &SessionObservableObject::bypassDurationChanged, this,
                &RelaxedPolicyView::updateCounters);
    }
}

RelaxedPolicyView::~RelaxedPolicyView()
{
    // After this returns the handler is not running and never will: the link removes it
    // under the lock it holds while a handler runs.
    removeReplyHandler();
}

QString RelaxedPolicyView::timePermittedText(qint64 bypassDuration)
{
    // Without a duration in the configuration the session holds the largest value; a
    // negative one is no duration either.
    if (bypassDuration == std::numeric_limits<qint64>::max() || bypassDuration < 0)
        return noDurationText;
    return QString::asprintf("%02lld:%02lld", static_cast<long long>(bypassDuration / 60),
                             static_cast<long long>(bypassDuration % 60));
}

QString RelaxedPolicyView::usesAvailableText(qint64 bypassesPermitted)
{
    return QString::number(bypassesPermitted);
}

QString RelaxedPolicyView::replyText(const RelaxedPolicyMessage& reply)
{
    if (reply.allowed)
        return QStringLiteral("Relaxed policy granted");
    if (!reply.messageOrPasscode.isEmpty())
        return reply.messageOrPasscode;
    return QStringLiteral("Relaxed policy not granted");
}

QString RelaxedPolicyView::editAddress()
{
    return QStringLiteral("https://") + Deployment::serverHost() + QStringLiteral("/Velmora/user?tab=relaxed-policy");
}

void RelaxedPolicyView::setApplicationDelegate(std::function<AppDelegate*()> delegate)
{
    configuredDelegate() = std::move(delegate);
}

QMessageBox* RelaxedPolicyView::alert() const
{
    return m_alert;
}

PasscodePopup* RelaxedPolicyView::passwordPopup() const
{
    return m_popup;
}

void RelaxedPolicyView::useRelaxedPolicy(bool passcodeEntered)
{
    if (!m_sessionModel)
        return;
    if (m_sessionModel->bypassEnabled()) {
        showAlert(QStringLiteral("Relaxed policy already in effect"));
        return;
    }
    if (m_sessionModel->bypassesPermitted() <= 0) {
        showAlert(QStringLiteral("All your relaxed policies are used up for today"));
        return;
    }
    const std::optional<qint64> passcodeRequired = SessionData::shared()->userConfig().EnableRelaxedPolicyPasscode;
    if (passcodeRequired == 1 && !passcodeEntered) {
        openPasswordPopup();
        return;
    }
    RelaxedPolicyMessage message;
    message.messageOrPasscode = m_passswordEntered;
    message.enable = true;
    message.allowed = false;
    IpcConnection::shared().sendMessage(message);
}

void RelaxedPolicyView::relinquishRelaxedPolicy()
{
    if (m_sessionModel && m_sessionModel->bypassEnabled()) {
        RelaxedPolicyMessage message;
        message.enable = false;
        message.allowed = false;
        IpcConnection::shared().sendMessage(message);
        return;
    }
    showAlert(QStringLiteral("Relaxed policy not currently active"));
}

void RelaxedPolicyView::openPasswordPopup()
{
    m_passswordEntered.clear();
    m_passswordCancelled = false;
    m_showPasswordPopup = true;
    auto* popup = new PasscodePopup(this);
    connect(popup, &PasscodePopup::passcodeChanged, this, [this](const QString& text) { m_passswordEntered = text; });
    connect(popup, &PasscodePopup::okClicked, this, &RelaxedPolicyView::okPressed);
    connect(popup, &PasscodePopup::cancelClicked, this, &RelaxedPolicyView::cancelPressed);
    // Closed some other way (Escape, the window's own close): the sheet just goes.
    connect(popup, &QDialog::finished, this, [this, popup] {
        if (m_popup == popup) {
            m_popup = nullptr;
            m_showPasswordPopup = false;
        }
    });
    m_popup = popup;
    popup->open();
}

void RelaxedPolicyView::closePasswordPopup()
{
    const bool wasShown = m_showPasswordPopup;
    m_showPasswordPopup = false;
    if (PasscodePopup* popup = m_popup) {
        m_popup = nullptr;
        popup->close();
    }
    if (wasShown && !m_passswordCancelled)
        useRelaxedPolicy(!m_passswordEntered.isEmpty());
}

void RelaxedPolicyView::okPressed()
{
    closePasswordPopup();
}

void RelaxedPolicyView::cancelPressed()
{
    m_passswordCancelled = true;
    closePasswordPopup();
}

void RelaxedPolicyView::openEdit()
{
    Workspace::shared().open(QUrl(editAddress()));
}

void RelaxedPolicyView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    registerReplyHandler();
    // Once the page is on screen and whoever showed it has finished (the status menu sets
    // its flag right after choosing the page).
    QMetaObject::invokeMethod(this, &RelaxedPolicyView::autoenableIfAsked, Qt::QueuedConnection);
}

void RelaxedPolicyView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    removeReplyHandler();
}

void RelaxedPolicyView::registerReplyHandler()
{
    if (m_handlerRegistered)
        return;
    RelaxedPolicyView* page = this;
    IpcConnection::shared().addMessageHandler(
        IpcMessageId::relaxedPolicy, [page](const std::shared_ptr<IpcMessage>& message) {
            const auto* reply = dynamic_cast<const RelaxedPolicyMessage*>(message.get());
            if (!reply)
                return;
            const QString text = replyText(*reply);
            // The page outlives this call (it removes the handler under the link's lock
            // before it goes); an alert still queued when it goes is dropped with it.
            QMetaObject::invokeMethod(
                page,
                [page, text] {
                    if (page->isVisible())
                        page->showAlert(text);
                    else
                        log(QStringLiteral("Relaxed policy answer after the page went: ") + text);
                },
                Qt::QueuedConnection);
        });
    if (RelaxedPolicyView* previous = registeredPage(); previous && previous != this)
        previous->m_handlerRegistered = false;
    registeredPage() = this;
    m_handlerRegistered = true;
}

void RelaxedPolicyView::removeReplyHandler()
{
    if (!m_handlerRegistered)
        return;
    m_handlerRegistered = false;
    if (registeredPage() != this)
        return;
    registeredPage() = nullptr;
    IpcConnection::shared().removeMessageHandler(IpcMessageId::relaxedPolicy);
}

void RelaxedPolicyView::autoenableIfAsked()
{
    if (!isVisible())
        return;
    const auto& configured = configuredDelegate();
    AppDelegate* delegate = configured ? configured() : AppDelegate::current();
    if (!delegate || !delegate->autoenableRelaxedPolicy())
        return;
    delegate->setAutoenableRelaxedPolicy(false);
    useRelaxedPolicy(false);
}

void RelaxedPolicyView::updateCounters()
{
    if (!m_sessionModel)
        return;
    m_enabledRow->setVisible(m_sessionModel->bypassEnabled());
    m_usesAvailable->setText(usesAvailableText(m_sessionModel->bypassesPermitted()));
    m_timePermitted->setText(timePermittedText(m_sessionModel->bypassDuration()));
}

void RelaxedPolicyView::showAlert(const QString& message)
{
    m_relaxedPolicyAlertMessage = message;
    m_showRelaxedPolicyAlert = true;
    // A second answer while the alert is up replaces its text.
    if (m_alert) {
        m_alert->setInformativeText(message);
        return;
    }
    QMessageBox* alert = Alert::make(this, QStringLiteral("alert"), tr("Relaxed policy"), message);
    alert->addButton(QMessageBox::Ok)->setObjectName(QStringLiteral("okButton"));
    connect(alert, &QDialog::finished, this, [this, alert] {
        if (m_alert == alert) {
            m_alert = nullptr;
            m_showRelaxedPolicyAlert = false;
        }
    });
    m_alert = alert;
    alert->open();
}

void RelaxedPolicyView::buildLayout()
{
    auto* title = new QLabel(tr("Relaxed Policy"));
    title->setObjectName(QStringLiteral("title"));
    title->setFont(Fonts::system(titleSize));
    title->setContentsMargins(0, 0, 0, paragraphPadding);

    auto* explanation = new QLabel(
        tr("If your administrator has configured your policy to include the ability to temporarily relax "
           "restrictions on certain websites, you can use relaxed filtering rules for the given time span below."));
    explanation->setObjectName(QStringLiteral("explanation"));
    explanation->setWordWrap(true);
    explanation->setContentsMargins(0, 0, 0, paragraphPadding);

    m_enabledRow = new QLabel(tr("You may now access sites that are in the relaxed policy."));
    m_enabledRow->setObjectName(QStringLiteral("enabledText"));
    m_enabledRow->setContentsMargins(0, 0, 0, paragraphPadding);

    auto* usesLabel = new QLabel(tr("Uses Available: "));
    usesLabel->setObjectName(QStringLiteral("usesAvailableLabel"));
    auto* timeLabel = new QLabel(tr("Time Permitted: "));
    timeLabel->setObjectName(QStringLiteral("timePermittedLabel"));
    // 100 wide, or as wide as the longer caption needs, so that both values line up.
    const int captionWidth = std::max({labelWidth, usesLabel->sizeHint().width(), timeLabel->sizeHint().width()});
    usesLabel->setFixedWidth(captionWidth);
    timeLabel->setFixedWidth(captionWidth);
    m_usesAvailable = new QLabel;
    m_usesAvailable->setObjectName(QStringLiteral("usesAvailableValue"));
    m_timePermitted = new QLabel;
    m_timePermitted->setObjectName(QStringLiteral("timePermittedValue"));
    usesLabel->setBuddy(m_usesAvailable);
    timeLabel->setBuddy(m_timePermitted);

    auto* use = new QPushButton(tr("use relaxed policy"));
    use->setObjectName(QStringLiteral("useButton"));
    PrimaryButtonStyle::apply(use);
    connect(use, &QPushButton::clicked, this, [this] { useRelaxedPolicy(false); });

    auto* relinquish = new QPushButton(tr("relinquish relaxed policy"));
    relinquish->setObjectName(QStringLiteral("relinquishButton"));
    PrimaryButtonStyle::apply(relinquish);
    connect(relinquish, &QPushButton::clicked, this, &RelaxedPolicyView::relinquishRelaxedPolicy);

    auto* edit = new QPushButton(tr("Edit Relaxed Policy Passcode"));
    edit->setObjectName(QStringLiteral("editLink"));
    LinkButtonStyle::apply(edit);
    connect(edit, &QPushButton::clicked, this, &RelaxedPolicyView::openEdit);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(pagePadding, pagePadding, pagePadding, pagePadding);
    stack->setSpacing(stackSpacing);
    stack->addWidget(title, 0, Qt::AlignHCenter);
    stack->addWidget(explanation);
    stack->addWidget(m_enabledRow);
    stack->addLayout(leadingRow({usesLabel, m_usesAvailable}));
    stack->addLayout(leadingRow({timeLabel, m_timePermitted}));
    stack->addWidget(use, 0, Qt::AlignHCenter);
    stack->addWidget(relinquish, 0, Qt::AlignHCenter);
    QHBoxLayout* editRow = leadingRow({edit});
    editRow->setContentsMargins(0, editPadding, 0, 0);
    stack->addLayout(editRow);
    stack->addStretch(1);
}
