#include "ui/TitleBar.h"

#include "control/AppDelegate.h"
#include "control/GuiAppMonitor.h"
#include "core/Device.h"
#include "core/SessionObservableObject.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "ui/components/Divider.h"
#include "ui/icons/FAText.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QPushButton>

namespace {

constexpr qreal closeIconSize = 12;
constexpr qreal userIconSize = 14;
constexpr qreal indicatorIconSize = 16;
constexpr qreal closeIconOpacity = 0.8;

QString storedText(const char* key)
{
    return UserDefaults::standard().string(QString::fromLatin1(key)).value_or(QString());
}

} // namespace

TitleBar::TitleBar(SessionObservableObject* sessionModel, QWidget* parent)
    : QWidget(parent), m_sessionModel(sessionModel), m_closeButton(new QPushButton),
      m_titleLabel(new QLabel(titleText(Device::appVersion()))), m_emailLabel(new QLabel),
      m_internetIndicator(new FAText(QString(), indicatorIconSize))
{
    setObjectName(QStringLiteral("TitleBar"));
    setFixedHeight(barHeight);
    QPalette white = palette();
    white.setColor(QPalette::WindowText, Qt::white);
    setPalette(white);

    m_hideApplication = [] {
        if (auto* delegate = AppDelegate::current())
            delegate->hideApplication();
        else
            Workspace::shared().hideApplication();
    };
    m_terminate = [](int status) {
        if (auto* delegate = AppDelegate::current())
            delegate->terminate(status);
        else
            QCoreApplication::exit(status);
    };

    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    m_closeButton->setToolTip(tr("Close"));
    // An icon alone: screen readers need its purpose as its name.
    m_closeButton->setAccessibleName(tr("Close"));
    m_closeButton->setFocusPolicy(Qt::NoFocus);
    QColor iconColor(Qt::white);
    iconColor.setAlphaF(closeIconOpacity);
    const QPixmap times = FAText::pixmap(QStringLiteral("times"), closeIconSize, iconColor);
    m_closeButton->setIcon(FAText::icon(QStringLiteral("times"), closeIconSize, iconColor));
    m_closeButton->setIconSize(times.size());
    m_closeButton->setFixedSize(times.size());
    // Borderless: the icon alone, on the bar's ground in every state.
    m_closeButton->setFlat(true);
    m_closeButton->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0; background: transparent; }"));
    connect(m_closeButton, &QPushButton::clicked, this, &TitleBar::closeAction);

    m_titleLabel->setObjectName(QStringLiteral("titleText"));
    m_emailLabel->setObjectName(QStringLiteral("userEmail"));
    auto* userIcon = new FAText(QStringLiteral("user"), userIconSize);
    userIcon->setObjectName(QStringLiteral("userIcon"));
    auto* internetLabel = new QLabel(tr("Internet"));
    internetLabel->setObjectName(QStringLiteral("internetLabel"));
    m_internetIndicator->setObjectName(QStringLiteral("internetIndicator"));
    auto* divider = new Divider(Qt::Vertical);
    divider->setFixedHeight(barHeight - 2 * padding);

    auto* row = new QHBoxLayout(this);
    // The padding is kept on the sides; vertically the items are centred in the bar, as
    // the icons are taller than the room the padding would leave them.
    row->setContentsMargins(padding, 0, padding, 0);
    row->setSpacing(padding);
    row->addWidget(m_closeButton, 0, Qt::AlignVCenter);
    row->addWidget(divider, 0, Qt::AlignVCenter);
    row->addWidget(m_titleLabel, 0, Qt::AlignVCenter);
    row->addStretch(1);
    row->addWidget(m_emailLabel, 0, Qt::AlignVCenter);
    row->addWidget(userIcon, 0, Qt::AlignVCenter);
    row->addWidget(internetLabel, 0, Qt::AlignVCenter);
    row->addWidget(m_internetIndicator, 0, Qt::AlignVCenter);

    // The bar is redrawn, and so re-reads the e-mail, on every change of the session state.
    const QMetaMethod refreshSlot = metaObject()->method(metaObject()->indexOfSlot("refresh()"));
    const QMetaObject* session = m_sessionModel->metaObject();
    for (int i = session->propertyOffset(); i < session->propertyCount(); ++i) {
        const QMetaProperty property = session->property(i);
        if (property.hasNotifySignal())
            connect(m_sessionModel, property.notifySignal(), this, refreshSlot);
    }
    refresh();
}

QString TitleBar::titleText(const QString& version)
{
    const QString name = QStringLiteral("NORVANE");
    return version.isEmpty() ? name : name + QStringLiteral(" - VERSION ") + version;
}

void TitleBar::closeAction()
{
    if (!storedText("authToken").isEmpty()) {
        if (m_hideApplication)
            m_hideApplication();
        return;
    }
    GuiAppMonitor::stopLaunchCtl();
    if (m_terminate)
        m_terminate(0);
}

void TitleBar::setHideApplication(std::function<void()> hide)
{
    m_hideApplication = std::move(hide);
}

void TitleBar::setTerminate(std::function<void(int)> terminate)
{
    m_terminate = std::move(terminate);
}

QPushButton* TitleBar::closeButton() const
{
    return m_closeButton;
}

QLabel* TitleBar::titleLabel() const
{
    return m_titleLabel;
}

QLabel* TitleBar::emailLabel() const
{
    return m_emailLabel;
}

FAText* TitleBar::internetIndicator() const
{
    return m_internetIndicator;
}

void TitleBar::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh();
}

void TitleBar::refresh()
{
    m_emailLabel->setText(storedText("userEmail"));
    m_internetIndicator->setIconName(m_sessionModel->isConnectedToInternet() ? QStringLiteral("check-circle")
                                                                             : QStringLiteral("times-circle"));
}
