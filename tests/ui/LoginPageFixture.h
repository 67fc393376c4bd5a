#pragma once

#include "core/LoadingModel.h"
#include "core/SessionData.h"
#include "core/SessionObservableObject.h"
#include "platform/UserDefaults.h"
#include "ui/ContentView.h"
#include "ui/Fonts.h"
#include "ui/components/LineLimitedLabel.h"
#include "ui/pages/LoginView.h"

#include "ManagementServerPeer.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

// What the user does to send the form.
enum class LoginAction
{
    passwordButton,
    emailButton,
    returnInPassword,
    returnInEmail,
};

// The sign-in page as the window shows it, driven through its widgets, against the
// management-server peer. The peer starts before anything computes the server's address.
class LoginPageFixture : public ::testing::Test
{
protected:
    using Action = LoginAction;

    void SetUp() override
    {
        Fonts::install();
        ASSERT_TRUE(peer.isRunning());
        LoginView::setActivationRequest([this] { ++activationRequests; });
        QObject::connect(&loading, &LoadingModel::isLoadingChanged, &loading,
                         [this](bool isLoading) { loadingChanges.append(isLoading); });
    }

    void TearDown() override
    {
        view.reset();
        settle();
        LoginView::setActivationRequest({});
    }

    // A fresh window content, signed out, once the sign-in page's first poll is answered.
    void open()
    {
        view.reset();
        settle();
        session.setIsLoggedIn(false);
        view = std::make_unique<ContentView>(&session, &loading);
        view->resize(1000, 700);
        view->show();
        ASSERT_TRUE(waitIdle());
        page = qobject_cast<LoginView*>(view->page());
        ASSERT_NE(page, nullptr);
        messages.clear();
        QObject::connect(page, &LoginView::errorTextChanged, &loading,
                         [this](const QString& text) { messages.append(text); });
    }

    // Runs pending work, retired pages' deletion included.
    static void settle()
    {
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
    }

    bool waitIdle(int timeoutMs = 15000)
    {
        return QTest::qWaitFor([&] { return !loading.isLoading(); }, timeoutMs);
    }

    template <typename T> T* find(const char* name) const
    {
        return page ? page->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    }
    QLineEdit* emailField() const { return find<QLineEdit>("emailField"); }
    QLineEdit* passwordField() const { return find<QLineEdit>("passwordField"); }
    LineLimitedLabel* errorLabel() const { return find<LineLimitedLabel>("errorText"); }

    // Types into a field as a user would, key by key; characters beyond ASCII come as
    // key events carrying their text.
    static void type(QWidget* field, const QString& text)
    {
        for (const QChar c : text) {
            if (c.unicode() < 0x80)
                QTest::keyClick(field, char(c.unicode()));
            else
                QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }

    void fill(const QString& email, const QString& password)
    {
        type(emailField(), email);
        type(passwordField(), password);
    }

    void act(Action action)
    {
        switch (action) {
        case Action::passwordButton:
            QTest::mouseClick(find<QPushButton>("loginWithPasswordButton"), Qt::LeftButton);
            break;
        case Action::emailButton:
            QTest::mouseClick(find<QPushButton>("loginWithEmailButton"), Qt::LeftButton);
            break;
        case Action::returnInPassword:
            QTest::keyClick(passwordField(), Qt::Key_Return);
            break;
        case Action::returnInEmail:
            QTest::keyClick(emailField(), Qt::Key_Return);
            break;
        }
    }

    static QString stored(const QString& key)
    {
        return UserDefaults::standard().string(key).value_or(QStringLiteral("<absent>"));
    }

public:
    // A loopback port on which nothing listens.
    static int closedPortForTests()
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost);
        const int port = server.serverPort();
        server.close();
        return port;
    }

protected:
    ManagementServerPeer peer;
    SessionObservableObject session;
    LoadingModel loading;
    std::unique_ptr<ContentView> view;
    QPointer<LoginView> page;
    QList<bool> loadingChanges;
    QStringList messages; // every message the page has shown since open()
    int activationRequests = 0;
};
