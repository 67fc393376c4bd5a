#include "ui/pages/MyBlockedSitesView.h"

#include "control/IpcConnection.h"
#include "control/SyncMessage.h"
#include "core/ApiClient.h"
#include "core/ApiUrls.h"
#include "core/DataRequest.h"
#include "core/HttpSession.h"
#include "core/LoadingModel.h"
#include "core/Log.h"
#include "core/SessionObservableObject.h"
#include "platform/Deployment.h"
#include "platform/Workspace.h"
#include "ui/Fonts.h"
#include "ui/components/Alert.h"
#include "ui/components/Divider.h"
#include "ui/styles/LinkButtonStyle.h"
#include "ui/styles/PrimaryButtonStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QString pleaseSpecifyUrl = QStringLiteral("Please specify url");
const QString unknownError = QStringLiteral("Unknown error adding site to blocklist");

QLabel* siteRow(const QString& site, QWidget* parent)
{
    auto* row = new QLabel(site, parent);
    row->setObjectName(QStringLiteral("siteRow"));
    // Shown verbatim: a site is never read as markup.
    row->setTextFormat(Qt::PlainText);
    row->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->setAccessibleName(site);
    return row;
}

} // namespace

MyBlockedSitesView::MyBlockedSitesView(LoadingModel* loadingModel, SessionObservableObject* sessionModel,
                                       QWidget* parent)
    : QWidget(parent), m_loadingModel(loadingModel), m_sessionModel(sessionModel)
{
    setObjectName(QStringLiteral("MyBlockedSitesView"));
    buildLayout();
    reloadRows();
    if (m_sessionModel)
        connect(m_sessionModel, &SessionObservableObject::myBlockedSitesChanged, this,
                &MyBlockedSitesView::reloadRows);
}

MyBlockedSitesView::AddSiteOutcome MyBlockedSitesView::outcomeOf(const DataResponse<ErrorStringResponse>& reply)
{
    using Kind = AddSiteOutcome::Kind;
    if (reply.isSuccess() && reply.value) {
        const std::optional<QString>& error = reply.value->error;
        if (error && !error->isEmpty())
            return {Kind::error, *error};
        return {Kind::added, {}};
    }
    // A success status whose body is empty or not such an object still took the site.
    if (reply.response && reply.statusCode() <= 399)
        return {Kind::added, {}};
    if (reply.data.isEmpty())
        return {Kind::nothing, {}};
    const std::optional<ErrorStringResponse> body = ErrorStringResponse::decode(reply.data);
    if (body && body->error && !body->error->isEmpty())
        return {Kind::error, *body->error};
    return {Kind::error, unknownError};
}

bool MyBlockedSitesView::addToList(SessionObservableObject* sessionModel, const QString& site)
{
    if (!sessionModel)
        return false;
    QStringList sites = sessionModel->myBlockedSites();
    if (sites.contains(site, Qt::CaseSensitive))
        return false;
    sites.append(site);
    sessionModel->setMyBlockedSites(sites);
    IpcConnection::shared().sendMessage(SyncMessage());
    return true;
}

QString MyBlockedSitesView::confirmationMessage(const QString& site)
{
    return QStringLiteral("This will add \"") + site +
           QStringLiteral("\" to your list of blocked sites. Are you sure you want to continue?");
}

QString MyBlockedSitesView::advancedSettingsAddress()
{
    return QStringLiteral("https://") + Deployment::serverHost() + QStringLiteral("/Velmora/user?tab=self-moderation");
}

QMessageBox* MyBlockedSitesView::alert() const
{
    return m_alert;
}

void MyBlockedSitesView::addButtonPressed()
{
    m_errorText = m_siteToAdd.isEmpty() ? pleaseSpecifyUrl : QString();
    setShowAlert(true);
}

void MyBlockedSitesView::confirmAdd()
{
    addSiteRequest(m_siteToAdd);
}

void MyBlockedSitesView::addSiteRequest(const QString& site)
{
    if (site.isEmpty()) {
        m_errorText = pleaseSpecifyUrl;
        setShowAlert(true);
        return;
    }
    if (m_loadingModel)
        m_loadingModel->setIsLoading(true);

    ApiClient::session()
        .post(QUrl(ApiUrls::selfModerationAdd()), ApiClient::parameters({{QStringLiteral("url"), site}}),
              ApiClient::headers())
        ->validate()
        .responseDecodable<ErrorStringResponse>(
            [page = QPointer<MyBlockedSitesView>(this), loading = m_loadingModel, session = m_sessionModel,
             site](const DataResponse<ErrorStringResponse>& reply) {
                if (page) {
                    page->handleAddSiteResponse(reply, site);
                    return;
                }
                // The page has gone, the user's choice stands: the list still gets the site.
                if (loading)
                    loading->setIsLoading(false);
                if (outcomeOf(reply).kind == AddSiteOutcome::Kind::added)
                    addToList(session, site);
            });
}

void MyBlockedSitesView::handleAddSiteResponse(const DataResponse<ErrorStringResponse>& reply, const QString& site)
{
    if (m_loadingModel)
        m_loadingModel->setIsLoading(false);
    const AddSiteOutcome outcome = outcomeOf(reply);
    switch (outcome.kind) {
    case AddSiteOutcome::Kind::added:
        siteAdded(site);
        return;
    case AddSiteOutcome::Kind::error:
        log(QStringLiteral("Adding a site to the blocklist failed: ") + outcome.errorText);
        m_errorText = outcome.errorText;
        setShowAlert(true);
        return;
    case AddSiteOutcome::Kind::nothing:
        log(QStringLiteral("Adding a site to the blocklist got no answer: ") + reply.errorText());
        return;
    }
}

void MyBlockedSitesView::siteAdded(const QString& site)
{
    if (addToList(m_sessionModel, site))
        setSiteToAdd(QString());
}

void MyBlockedSitesView::openAdvancedSettings()
{
    Workspace::shared().open(QUrl(advancedSettingsAddress()));
}

void MyBlockedSitesView::setSiteToAdd(const QString& site)
{
    m_siteToAdd = site;
    if (m_siteField->text() != site)
        m_siteField->setText(site);
}

void MyBlockedSitesView::setShowAlert(bool show)
{
    if (show == m_showAlert)
        return;
    m_showAlert = show;
    if (show)
        openAlert();
    else if (m_alert)
        m_alert->close();
}

void MyBlockedSitesView::openAlert()
{
    QMessageBox* alert = nullptr;
    if (m_errorText.isEmpty()) {
        alert = Alert::make(this, QStringLiteral("alert"), tr("Are you sure?"), confirmationMessage(m_siteToAdd));
        QPushButton* no = alert->addButton(tr("No"), QMessageBox::RejectRole);
        QPushButton* yes = alert->addButton(tr("Yes"), QMessageBox::AcceptRole);
        no->setObjectName(QStringLiteral("noButton"));
        yes->setObjectName(QStringLiteral("yesButton"));
        // Return and Escape both answer No: adding takes a deliberate click.
        alert->setDefaultButton(no);
        alert->setEscapeButton(no);
        connect(yes, &QPushButton::clicked, this, &MyBlockedSitesView::confirmAdd, Qt::QueuedConnection);
    } else {
        alert = Alert::make(this, QStringLiteral("alert"), tr("Error occured"), m_errorText);
        QPushButton* ok = alert->addButton(QMessageBox::Ok);
        ok->setObjectName(QStringLiteral("okButton"));
    }
    connect(alert, &QDialog::finished, this, [this, alert] {
        if (m_alert == alert) {
            m_alert = nullptr;
            m_showAlert = false;
        }
    });
    m_alert = alert;
    alert->open();
}

void MyBlockedSitesView::buildLayout()
{
    auto* column = new QWidget;
    column->setObjectName(QStringLiteral("column"));
    column->setMaximumWidth(columnMaximumWidth);
    column->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    auto* title = new QLabel(tr("My Blocked Sites"));
    title->setObjectName(QStringLiteral("title"));
    title->setFont(Fonts::system(titleSize));
    title->setContentsMargins(0, 0, 0, titlePadding);

    m_siteField = new QLineEdit;
    m_siteField->setObjectName(QStringLiteral("siteField"));
    m_siteField->setAccessibleName(tr("Site to block"));
    connect(m_siteField, &QLineEdit::textChanged, this, [this](const QString& text) { m_siteToAdd = text; });

    auto* addButton = new QPushButton(tr("add"));
    addButton->setObjectName(QStringLiteral("addButton"));
    PrimaryButtonStyle::apply(addButton);
    connect(addButton, &QPushButton::clicked, this, &MyBlockedSitesView::addButtonPressed);

    auto* addRow = new QHBoxLayout;
    addRow->setContentsMargins(0, 0, 0, 0);
    addRow->addWidget(m_siteField, 1, Qt::AlignVCenter);
    addRow->addWidget(addButton, 0, Qt::AlignVCenter);

    m_siteList = new QWidget;
    m_siteList->setObjectName(QStringLiteral("siteList"));
    m_siteList->setAccessibleName(tr("My blocked sites"));
    m_siteLayout = new QVBoxLayout(m_siteList);
    m_siteLayout->setContentsMargins(0, 0, 0, 0);
    m_siteLayout->addStretch(1);
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("siteScrollArea"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->setWidget(m_siteList);
    scroll->viewport()->setAutoFillBackground(false);
    m_siteList->setAutoFillBackground(false);

    auto* advancedSettings = new QPushButton(tr("Advanced Settings"));
    advancedSettings->setObjectName(QStringLiteral("advancedSettingsLink"));
    LinkButtonStyle::apply(advancedSettings);
    connect(advancedSettings, &QPushButton::clicked, this, &MyBlockedSitesView::openAdvancedSettings);

    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(columnSpacing);
    stack->addWidget(title, 0, Qt::AlignHCenter);
    stack->addLayout(addRow);
    stack->addWidget(new Divider(Qt::Horizontal));
    // The list takes the height the page leaves; short lists leave the rest empty below.
    stack->addWidget(scroll, 1);
    stack->addWidget(advancedSettings, 0, Qt::AlignHCenter);

    auto* page = new QHBoxLayout(this);
    page->setContentsMargins(pagePadding, pagePadding, pagePadding, pagePadding);
    // At most 400 wide, centred, whatever the page's width: the column takes what it can
    // and the spaces either side share the rest.
    page->addStretch(1);
    page->addWidget(column, 1000);
    page->addStretch(1);
}

void MyBlockedSitesView::reloadRows()
{
    while (m_siteLayout->count() > 1) {
        QLayoutItem* item = m_siteLayout->takeAt(0);
        delete item->widget();
        delete item;
    }
    const QStringList sites = m_sessionModel ? m_sessionModel->myBlockedSites() : QStringList();
    for (const QString& site : sites)
        m_siteLayout->insertWidget(m_siteLayout->count() - 1, siteRow(site, m_siteList));
}
