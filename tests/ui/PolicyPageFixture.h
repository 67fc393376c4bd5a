#pragma once

#include "control/AppDelegate.h"
#include "control/IpcConnection.h"
#include "control/UpdateMessage.h"
#include "core/LoadingModel.h"
#include "core/Log.h"
#include "core/MainViewTabs.h"
#include "core/SessionData.h"
#include "core/SessionObservableObject.h"
#include "platform/Bundle.h"
#include "platform/UserDefaults.h"
#include "ui/ContentView.h"
#include "ui/Fonts.h"
#include "ui/MainView.h"

#include "FilterExtensionPeer.h"
#include "LogEntries.h"
#include "ManagementServerPeer.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <unistd.h>

// A policy page as the signed-in window shows it, on the application delegate's session
// state (so its status menu drives it), with the link registered with the filter-extension
// stand-in. The management-server stand-in starts first, so the program's server address
// is its own; a test that wants no server at all sets withServer to false.
class PolicyPageFixture : public ::testing::Test
{
protected:
    explicit PolicyPageFixture(bool withServer = true)
    {
        if (withServer)
            server.emplace();
    }

    void SetUp() override
    {
        Fonts::install();
        if (server) {
            ASSERT_TRUE(server->isRunning());
        }
        UserDefaults::standard().setString(SessionData::authTokenKey,
                                           QString::fromLatin1(ManagementServerPeer::demoToken));
        Bundle::setMainBundlePath(QStringLiteral(NORVANE_TEST_BUNDLE_DIR));
        ASSERT_TRUE(extension.start());
        std::atomic<int> registered{-1};
        IpcConnection::shared().connectToProvider(getpid(), [&](bool ok) { registered = ok ? 1 : 0; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return registered != -1; }, 10000));
        ASSERT_EQ(registered, 1);
        delegate.buildStatusMenu();
        session()->setIsLoggedIn(true);
    }

    void TearDown() override
    {
        view.reset();
        settle();
        stopExtension();
    }

    // The link tries once to reconnect when the extension goes. That attempt ends here,
    // not while the process is already tearing down around the thread that makes it.
    void stopExtension()
    {
        const QString failed = QStringLiteral("IpcConnection Failed to register with the provider");
        const int failuresBefore = logCount(failed);
        extension.stop();
        (void)QTest::qWaitFor(
            [&] { return logCount(failed) > failuresBefore && IpcConnection::shared().connectionCount() == 0; },
            10000);
    }

    static int logCount(const QString& text)
    {
        const QStringList entries = LogEntries::read(Log::shared().currentFilePath());
        return int(std::count_if(entries.cbegin(), entries.cend(), [&](const QString& e) { return e.contains(text); }));
    }

    SessionObservableObject* session() const { return delegate.sessionModel(); }

    // The window content showing `page`.
    template <typename Page> Page* open(MainViewTabs page)
    {
        view = std::make_unique<ContentView>(session(), &loading);
        view->resize(1000, 700);
        view->show();
        session()->setSelectedMainPage(page);
        settle();
        auto* main = view->findChild<MainView*>();
        return main ? qobject_cast<Page*>(main->detail()) : nullptr;
    }

    // Shows another page in the detail column; the one shown before is deleted.
    void showOtherPage()
    {
        session()->setSelectedMainPage(MainViewTabs::blockHistory);
        settle();
    }

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

    // The messages of one identifier the extension has received, once every message sent
    // before this call has arrived: an update message goes last and is waited for.
    QJsonArray receivedSoFar(IpcMessageId id)
    {
        const int updates = count(extension.received(), IpcMessageId::update);
        IpcConnection::shared().sendMessage(UpdateMessage());
        const std::optional<QJsonArray> all =
            extension.waitForReceived(updates + 1, int(IpcMessageId::update));
        EXPECT_TRUE(all.has_value());
        QJsonArray matching;
        for (const QJsonValue& message : extension.received())
            if (message.toObject().value(QStringLiteral("id")).toInt() == int(id))
                matching.append(message);
        return matching;
    }

    static int count(const QJsonArray& messages, IpcMessageId id)
    {
        int n = 0;
        for (const QJsonValue& message : messages)
            n += message.toObject().value(QStringLiteral("id")).toInt() == int(id) ? 1 : 0;
        return n;
    }

    static QJsonObject payload(const QJsonValue& message)
    {
        return message.toObject().value(QStringLiteral("payload")).toObject();
    }

    // Types as a user would, key by key.
    static void type(QWidget* field, const QString& text)
    {
        for (const QChar c : text) {
            if (c.unicode() < 0x80)
                QTest::keyClick(field, char(c.unicode()));
            else
                QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }

    static void click(QWidget* widget)
    {
        ASSERT_NE(widget, nullptr);
        QTest::mouseClick(widget, Qt::LeftButton);
    }

    // The alert of `page` once it is up, else nullptr.
    template <typename Page> static QMessageBox* waitForAlert(const QPointer<Page>& page, int timeoutMs = 10000)
    {
        if (!QTest::qWaitFor([&] { return page && page->alert() && page->alert()->isVisible(); }, timeoutMs))
            return nullptr;
        return page->alert();
    }

    static void clickAlertButton(QMessageBox* alert, const char* name)
    {
        ASSERT_NE(alert, nullptr);
        auto* button = alert->findChild<QPushButton*>(QString::fromLatin1(name));
        ASSERT_NE(button, nullptr) << name;
        QTest::mouseClick(button, Qt::LeftButton);
        settle();
    }

    std::optional<ManagementServerPeer> server;
    FilterExtensionPeer extension;
    // The delegate's updaters look the extension's bundle up once, as it is made.
    struct TestBundle
    {
        TestBundle() { Bundle::setMainBundlePath(QStringLiteral(NORVANE_TEST_BUNDLE_DIR)); }
    } bundle;
    AppDelegate delegate;
    LoadingModel loading;
    std::unique_ptr<ContentView> view;
};
