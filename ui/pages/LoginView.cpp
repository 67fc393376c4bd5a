#include "ui/pages/LoginView.h"

#include "control/AppDelegate.h"
#include "core/ApiClient.h"
#include "core/ApiUrls.h"
#include "core/DataRequest.h"
#include "core/HttpSession.h"
#include "core/LoadingModel.h"
#include "core/SessionData.h"
#include "core/SessionObservableObject.h"
#include "platform/UserDefaults.h"
#include "ui/Fonts.h"
#include "ui/components/LineLimitedLabel.h"
#include "ui/styles/PrimaryButtonStyle.h"
#include "ui/styles/Styles.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimer>
#include <QVBoxLayout>

namespace {

std::chrono::milliseconds& configuredTimerInterval()
{
    static std::chrono::milliseconds interval = LoginView::defaultTimerInterval;
    return interval;
}

std::function<void()>& configuredActivationRequest()
{
    static std::function<void()> request;
    return request;
}

// A label above its field, the two 2 apart and flush left.
QVBoxLayout* fieldGroup(QLabel* label, QLineEdit* field)
{
    auto* group = new QVBoxLayout;
    group->setContentsMargins(0, 0, 0, 0);
    group->setSpacing(LoginView::fieldGroupSpacing);
    group->addWidget(label, 0, Qt::AlignLeft);
    group->addWidget(field);
    return group;
}

// A flexible space that keeps one stack spacing when squeezed.
QSpacerItem* flexibleSpace()
{
    return new QSpacerItem(0, LoginView::stackSpacing, QSizePolicy::Minimum, QSizePolicy::MinimumExpanding);
}

} // namespace

const QString LoginView::emailPattern = QStringLiteral("[A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,64}");

LoginView::LoginView(LoadingModel* loadingModel, SessionObservableObject* sessionModel, QWidget* parent)
    : QWidget(parent), m_loadingModel(loadingModel), m_sessionModel(sessionModel), m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("LoginView"));
    m_timer->setObjectName(QStringLiteral("timer"));
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(timerInterval());
    connect(m_timer, &QTimer::timeout, this, &LoginView::timerTick);
    buildLayout();
}

bool LoginView::isValidEmail(const QString& email)
{
    static const QRegularExpression expression(QRegularExpression::anchoredPattern(emailPattern));
    return expression.match(email).hasMatch();
}

void LoginView::setTimerInterval(std::chrono::milliseconds interval)
{
    configuredTimerInterval() = interval;
}

std::chrono::milliseconds LoginView::timerInterval()
{
    return configuredTimerInterval();
}

void LoginView::setActivationRequest(std::function<void()> request)
{
    configuredActivationRequest() = std::move(request);
}

void LoginView::loginWithPassword()
{
    if (!isValidEmail(m_email)) {
        setErrorText(tr("Invalid email"));
        return;
    }
    if (m_password.isEmpty()) {
        setErrorText(tr("Enter password"));
        return;
    }
    if (m_loadingModel)
        m_loadingModel->setIsLoading(true);

    // The token belongs to the account it was asked for: keep that address, whatever the
    // field holds by the time the reply comes.
    const QString email = m_email;
    const HttpHeaders headers{HttpHeader::authorization(email, m_password)};
    ApiClient::session()
        .post(QUrl(ApiUrls::getToken()), parametersFor(email), headers)
        ->validate()
        .responseString([page = QPointer<LoginView>(this), loading = m_loadingModel, session = m_sessionModel,
                         email](const DataResponse<QString>& response) {
            if (loading)
                loading->setIsLoading(false);
            // An empty token (a 204, say) would sign in without any credentials.
            if (response.isFailure() || !response.value || response.value->isEmpty()) {
                if (page)
                    page->setErrorText(failureText(response.data).value_or(
                        tr("Authorization failed. Check your login and password.")));
                return;
            }
            UserDefaults::standard().setString(SessionData::authTokenKey, *response.value);
            UserDefaults::standard().setString(SessionData::userEmailKey, email);
            if (session)
                session->setIsLoggedIn(true);
            requestActivation();
        });
}

void LoginView::loginWithEmail()
{
    if (!isValidEmail(m_email)) {
        setErrorText(tr("Invalid email"));
        return;
    }
    if (m_loadingModel)
        m_loadingModel->setIsLoading(true);

    ApiClient::session()
        .post(QUrl(ApiUrls::activationEmail()), parametersFor(m_email))
        ->validate()
        .response([page = QPointer<LoginView>(this),
                   loading = m_loadingModel](const DataResponse<QByteArray>& response) {
            if (loading)
                loading->setIsLoading(false);
            if (!page)
                return;
            if (response.isSuccess()) {
                page->m_isTimerRunning = true;
                page->setErrorText(tr("Request sent. Check your e-mail."));
                return;
            }
            page->setErrorText(failureText(response.data).value_or(tr("Authorization failed. Check your email.")));
        });
}

void LoginView::pollToken()
{
    if (m_loadingModel)
        m_loadingModel->setIsLoading(true);
    SessionData::retrieveToken([loading = m_loadingModel, session = m_sessionModel](bool success, int, bool) {
        if (loading)
            loading->setIsLoading(false);
        if (success && session)
            session->setIsLoggedIn(true);
    });
}

void LoginView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_hasAppeared)
        return;
    m_hasAppeared = true;
    // The keyboard starts in the e-mail field whenever the window takes the focus.
    m_emailField->setFocus(Qt::OtherFocusReason);
    m_timer->start();
    pollToken();
}

void LoginView::buildLayout()
{
    auto* form = new QWidget;
    form->setObjectName(QStringLiteral("form"));
    form->setFixedWidth(formWidth);
    form->setMinimumHeight(formHeight);

    auto* title = new QLabel(tr("Please Sign In"));
    title->setObjectName(QStringLiteral("title"));
    title->setFont(Fonts::system(titleFontSize));

    auto* emailLabel = new QLabel(tr("E-Mail"));
    emailLabel->setObjectName(QStringLiteral("emailLabel"));
    auto* emailField = new QLineEdit;
    emailField->setObjectName(QStringLiteral("emailField"));
    emailField->setPlaceholderText(tr("E-Mail"));
    connect(emailField, &QLineEdit::textChanged, this, [this](const QString& text) { m_email = text; });

    // Linked as the field's label: screen readers name the field by it.
    emailLabel->setBuddy(emailField);

    auto* passwordLabel = new QLabel(tr("Password"));
    passwordLabel->setObjectName(QStringLiteral("passwordLabel"));
    auto* passwordField = new QLineEdit;
    passwordField->setObjectName(QStringLiteral("passwordField"));
    passwordField->setPlaceholderText(tr("Password"));
    passwordField->setEchoMode(QLineEdit::Password);
    connect(passwordField, &QLineEdit::textChanged, this, [this](const QString& text) { m_password = text; });
    connect(passwordField, &QLineEdit::returnPressed, this, &LoginView::loginWithPassword);
    passwordLabel->setBuddy(passwordField);
    m_emailField = emailField;

    m_errorLabel = new LineLimitedLabel(errorTextLineLimit);
    m_errorLabel->setObjectName(QStringLiteral("errorText"));
    m_errorLabel->setFixedWidth(formWidth);
    m_errorLabel->setColor(Styles::errorTextColor());

    auto* loginWithPasswordButton = new QPushButton(tr("login with password"));
    loginWithPasswordButton->setObjectName(QStringLiteral("loginWithPasswordButton"));
    PrimaryButtonStyle::apply(loginWithPasswordButton);
    connect(loginWithPasswordButton, &QPushButton::clicked, this, &LoginView::loginWithPassword);

    auto* loginWithEmailButton = new QPushButton(tr("login with e-mail"));
    loginWithEmailButton->setObjectName(QStringLiteral("loginWithEmailButton"));
    PrimaryButtonStyle::apply(loginWithEmailButton);
    connect(loginWithEmailButton, &QPushButton::clicked, this, &LoginView::loginWithEmail);

    auto* stack = new QVBoxLayout(form);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(stackSpacing);
    stack->addWidget(title, 0, Qt::AlignHCenter);
    stack->addItem(flexibleSpace());
    stack->addLayout(fieldGroup(emailLabel, emailField));
    stack->addLayout(fieldGroup(passwordLabel, passwordField));
    stack->addWidget(m_errorLabel);
    stack->addItem(flexibleSpace());
    stack->addWidget(loginWithPasswordButton, 0, Qt::AlignHCenter);
    stack->addWidget(loginWithEmailButton, 0, Qt::AlignHCenter);

    // The form keeps its width and grows past its height only when its content needs
    // more room, evenly above and below: it stays centred on the page.
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(pagePadding, pagePadding, pagePadding, pagePadding);
    page->setSpacing(stackSpacing);
    page->addWidget(form, 0, Qt::AlignCenter);
}

void LoginView::setErrorText(const QString& text)
{
    m_errorText = text;
    m_errorLabel->setText(text);
    emit errorTextChanged(text);
}

void LoginView::timerTick()
{
    if (m_isTimerRunning)
        pollToken();
}

void LoginView::requestActivation()
{
    if (const auto& request = configuredActivationRequest()) {
        request();
        return;
    }
    if (auto* delegate = AppDelegate::current())
        delegate->activateExtensionIfLoggedIn();
}

QMap<QString, QString> LoginView::parametersFor(const QString& email)
{
    QMap<QString, QString> parameters{{QStringLiteral("email"), email}};
    parameters.insert(ApiClient::deviceParameters());
    return parameters;
}

std::optional<QString> LoginView::failureText(const QByteArray& body)
{
    // An empty body would leave the user with a blank message after a failed sign-in.
    if (body.isEmpty())
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(body);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}
