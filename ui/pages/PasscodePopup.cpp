#include "ui/pages/PasscodePopup.h"

#include "ui/Fonts.h"
#include "ui/components/Divider.h"
#include "ui/styles/PrimaryButtonStyle.h"
#include "ui/styles/SecondaryButtonStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

PasscodePopup::PasscodePopup(QWidget* parent)
    : QDialog(parent), m_field(new QLineEdit), m_ok(new QPushButton(tr("Ok"))), m_cancel(new QPushButton(tr("Cancel")))
{
    setObjectName(QStringLiteral("passcodePopup"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setWindowTitle(tr("Enter passcode"));
    setFixedWidth(width);

    auto* title = new QLabel(tr("Enter passcode"));
    title->setObjectName(QStringLiteral("title"));
    title->setContentsMargins(0, 0, 0, titlePadding);

    auto* explanation = new QLabel(tr("The relaxed policy passcode restriction is enabled. To continue enabling "
                                      "relaxed policy, please enter your passcode"));
    explanation->setObjectName(QStringLiteral("explanation"));
    explanation->setFont(Fonts::system(explanationSize));
    explanation->setWordWrap(true);

    m_field->setObjectName(QStringLiteral("passcodeField"));
    m_field->setEchoMode(QLineEdit::Password);
    m_field->setAccessibleName(tr("Passcode"));
    connect(m_field, &QLineEdit::textChanged, this, &PasscodePopup::passcodeChanged);

    // Neither button answers Return: the passcode is sent by a click on "Ok" only.
    for (QPushButton* button : {m_ok, m_cancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    PrimaryButtonStyle::apply(m_ok);
    SecondaryButtonStyle::apply(m_cancel);
    connect(m_ok, &QPushButton::clicked, this, &PasscodePopup::okClicked);
    connect(m_cancel, &QPushButton::clicked, this, &PasscodePopup::cancelClicked);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    buttons->addStretch(1);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(16, 16, 16, 16);
    stack->addWidget(title, 0, Qt::AlignHCenter);
    stack->addWidget(explanation);
    stack->addWidget(m_field);
    stack->addWidget(new Divider(Qt::Horizontal));
    stack->addLayout(buttons);
}
