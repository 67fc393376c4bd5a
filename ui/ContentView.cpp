#include "ui/ContentView.h"

#include "core/LoadingModel.h"
#include "core/SessionObservableObject.h"
#include "platform/Power.h"
#include "ui/MainView.h"
#include "ui/TitleBar.h"
#include "ui/components/LoadingView.h"
#include "ui/pages/LoginView.h"
#include "ui/styles/Styles.h"

#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

ContentView::ContentView(SessionObservableObject* sessionModel, LoadingModel* loadingModel, QWidget* parent)
    : QWidget(parent), m_sessionModel(sessionModel), m_loadingModel(loadingModel),
      m_titleBar(new TitleBar(sessionModel)), m_pageArea(new QWidget),
      m_pageLayout(new QVBoxLayout(m_pageArea)), m_restartComputer([] { Power::restart(); })
{
    setObjectName(QStringLiteral("ContentView"));
    setMinimumSize(minimumContentSize);

    m_pageArea->setObjectName(QStringLiteral("PageArea"));
    QPalette palette = m_pageArea->palette();
    palette.setColor(QPalette::Window, Qt::white);
    m_pageArea->setPalette(palette);
    m_pageArea->setAutoFillBackground(true);
    m_pageLayout->setContentsMargins(0, 0, 0, 0);
    m_pageLayout->setSpacing(0);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(m_titleBar);
    stack->addWidget(m_pageArea, 1);

    showPageFor(m_sessionModel->isLoggedIn());
    LoadingView::attach(m_pageArea, m_loadingModel);

    connect(m_sessionModel, &SessionObservableObject::isLoggedInChanged, this, &ContentView::showPageFor);
    connect(m_sessionModel, &SessionObservableObject::shouldRequestRebootChanged, this,
            &ContentView::followShouldRequestReboot);
}

SessionObservableObject* ContentView::sessionModel() const
{
    return m_sessionModel;
}

LoadingModel* ContentView::loadingModel() const
{
    return m_loadingModel;
}

TitleBar* ContentView::titleBar() const
{
    return m_titleBar;
}

QWidget* ContentView::pageArea() const
{
    return m_pageArea;
}

QWidget* ContentView::page() const
{
    return m_page;
}

QMessageBox* ContentView::rebootAlert() const
{
    return m_rebootAlert;
}

void ContentView::restartComputer()
{
    if (m_restartComputer)
        m_restartComputer();
}

void ContentView::setRestartComputer(std::function<void()> restart)
{
    m_restartComputer = std::move(restart);
}

void ContentView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Styles::accentColor());
}

void ContentView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // An alert that came up while the window was hidden waits for it; open it once the
    // window is really on screen.
    if (m_sessionModel->shouldRequestReboot() && !m_rebootAlert)
        QMetaObject::invokeMethod(
            this, [this] { followShouldRequestReboot(m_sessionModel->shouldRequestReboot()); },
            Qt::QueuedConnection);
}

void ContentView::showPageFor(bool isLoggedIn)
{
    // The flag is also written with its current value; only a real change swaps the
    // page, so a half-filled sign-in form or the chosen page survives such writes.
    if (m_page && m_showsMainView == isLoggedIn)
        return;
    if (m_page) {
        // The change may come from a handler of the old page itself: take it off screen
        // now and delete it once control is back in the event loop.
        m_page->hide();
        m_pageLayout->removeWidget(m_page);
        m_page->deleteLater();
    }
    m_showsMainView = isLoggedIn;
    if (isLoggedIn)
        m_page = new MainView(m_sessionModel, m_loadingModel);
    else
        m_page = new LoginView(m_loadingModel, m_sessionModel);
    m_pageLayout->addWidget(m_page);
    m_page->show();
}

void ContentView::followShouldRequestReboot(bool shouldRequestReboot)
{
    if (shouldRequestReboot && !m_rebootAlert && isVisible())
        openRebootAlert();
    else if (!shouldRequestReboot && m_rebootAlert)
        closeRebootAlert();
}

void ContentView::openRebootAlert()
{
    auto* alert = new QMessageBox(this);
    alert->setObjectName(QStringLiteral("rebootAlert"));
    alert->setIcon(QMessageBox::NoIcon);
    alert->setWindowTitle(tr("Reboot required"));
    alert->setText(tr("Reboot required"));
    alert->setInformativeText(tr("Please reboot to complete update."));
    QPushButton* later = alert->addButton(tr("Reboot later"), QMessageBox::RejectRole);
    QPushButton* now = alert->addButton(tr("Reboot now"), QMessageBox::AcceptRole);
    alert->setEscapeButton(later);
    alert->setDefaultButton(now);
    // Title above message, as alerts read elsewhere on the desktop: the title bold and the
    // message on one line rather than wrapped to the width of the two buttons.
    if (auto* title = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont font = title->font();
        font.setBold(true);
        title->setFont(font);
    }
    if (auto* message = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        message->setMinimumWidth(message->fontMetrics().horizontalAdvance(message->text()) + 2);
    connect(alert, &QDialog::finished, this, [this, alert] { rebootAlertFinished(alert); });
    m_rebootAlert = alert;
    // Window-modal and without a nested event loop: the link and the timers keep running.
    alert->open();
}

void ContentView::closeRebootAlert()
{
    QMessageBox* alert = m_rebootAlert;
    m_rebootAlert = nullptr;
    alert->done(QDialog::Rejected);
    alert->deleteLater();
}

void ContentView::rebootAlertFinished(QMessageBox* alert)
{
    // Closed because the flag went false: nothing more to do.
    if (alert != m_rebootAlert)
        return;
    m_rebootAlert = nullptr;
    alert->deleteLater();
    const bool rebootNow =
        alert->clickedButton() && alert->buttonRole(alert->clickedButton()) == QMessageBox::AcceptRole;
    m_sessionModel->setShouldRequestReboot(false);
    if (rebootNow)
        restartComputer();
}
