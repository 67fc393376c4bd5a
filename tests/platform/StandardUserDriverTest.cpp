// The standard update windows, driven through their buttons offscreen: every answer runs
// once, closing a window answers what closing means, and nothing blocks.
#include "platform/ReleaseNotesView.h"
#include "platform/StandardUserDriver.h"
#include "platform/UpdateFoundDialog.h"
#include "platform/UpdateProgressDialog.h"

#include "TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace {

// A bundle of version 1.4.2 named Norvane, in the test's temporary folder.
Bundle testBundle()
{
    const QString path = TestEnvironment::root() + QStringLiteral("/Driver.app");
    QDir().mkpath(path + QStringLiteral("/Contents"));
    TestEnvironment::writeFile(path + QStringLiteral("/Contents/Info.plist"), R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>CFBundleName</key><string>Norvane</string>
<key>CFBundleShortVersionString</key><string>1.4.2</string>
<key>CFBundleVersion</key><string>1.4.2</string>
</dict></plist>)");
    return Bundle(path);
}

AppcastItem offeredItem(const QString& notes = QStringLiteral("<h2>What's new</h2><p>See <a "
                                                              "href=\"https://norvane.example/notes\">the notes</a> "
                                                              "and <a href=\"file:///etc/passwd\">this</a>.</p>"))
{
    AppcastItem item;
    item.title = QStringLiteral("Version 2.0");
    item.versionString = QStringLiteral("200");
    item.displayVersionString = QStringLiteral("2.0");
    item.itemDescription = notes;
    return item;
}

template <typename T> T* named(QWidget* parent, const char* name)
{
    auto* child = parent ? parent->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    EXPECT_NE(child, nullptr) << name;
    return child;
}

void click(QWidget* parent, const char* name)
{
    auto* button = named<QPushButton>(parent, name);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isVisible()) << name;
    QTest::mouseClick(button, Qt::LeftButton);
}

class StandardUserDriverTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        ReleaseNotesView::setLinkOpener({});
        QApplication::processEvents();
    }

    StandardUserDriver driver{testBundle()};
};

} // namespace

TEST_F(StandardUserDriverTest, UpdateFoundShowsBothVersionsAndEachButtonAnswersOnce)
{
    const struct
    {
        const char* button;
        UpdateChoice choice;
    } rows[] = {{"installButton", UpdateChoice::install},
                {"laterButton", UpdateChoice::dismiss},
                {"skipButton", UpdateChoice::skip}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.button);
        QList<UpdateChoice> answers;
        driver.showUpdateFoundWithAppcastItem(offeredItem(), {}, [&](UpdateChoice choice) { answers.append(choice); });
        QPointer<UpdateFoundDialog> dialog = driver.updateFoundDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_FALSE(dialog->isModal());
        EXPECT_EQ(named<QLabel>(dialog, "headline")->text(), QStringLiteral("A new version of Norvane is available!"));
        const QString message = named<QLabel>(dialog, "message")->text();
        EXPECT_TRUE(message.contains(QStringLiteral("Norvane 2.0 is now available (you have 1.4.2)")))
            << message.toStdString();
        click(dialog, row.button);
        EXPECT_EQ(answers, QList<UpdateChoice>{row.choice});
        EXPECT_TRUE(dialog.isNull() || !dialog->isVisible());
        driver.dismissUpdateInstallation();
        EXPECT_EQ(answers.size(), 1);
    }
}

TEST_F(StandardUserDriverTest, ClosingTheUpdateWindowMeansRemindMeLater)
{
    QList<UpdateChoice> answers;
    driver.showUpdateFoundWithAppcastItem(offeredItem(), {}, [&](UpdateChoice choice) { answers.append(choice); });
    ASSERT_NE(driver.updateFoundDialog(), nullptr);
    driver.updateFoundDialog()->close();
    EXPECT_EQ(answers, QList<UpdateChoice>{UpdateChoice::dismiss});
}

TEST_F(StandardUserDriverTest, ReleaseNotesAreHtmlAndOnlyWebLinksOpenInTheBrowser)
{
    QList<QUrl> opened;
    ReleaseNotesView::setLinkOpener([&](const QUrl& url) { opened.append(url); });
    driver.showUpdateFoundWithAppcastItem(offeredItem(), {}, [](UpdateChoice) {});
    ReleaseNotesView* notes = driver.updateFoundDialog()->releaseNotes();
    ASSERT_NE(notes, nullptr);
    EXPECT_TRUE(notes->isVisible());
    EXPECT_TRUE(notes->toPlainText().startsWith(QStringLiteral("What's new")));
    EXPECT_FALSE(notes->toPlainText().contains(QStringLiteral("<h2>")));

    emit notes->anchorClicked(QUrl(QStringLiteral("https://norvane.example/notes")));
    emit notes->anchorClicked(QUrl(QStringLiteral("file:///etc/passwd")));
    emit notes->anchorClicked(QUrl(QStringLiteral("javascript:alert(1)")));
    EXPECT_EQ(opened, QList<QUrl>{QUrl(QStringLiteral("https://norvane.example/notes"))});
    // Nothing the notes name is loaded, local files included.
    EXPECT_FALSE(notes->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("file:///etc/hostname"))).isValid());
}

TEST_F(StandardUserDriverTest, NotesFromTheLinkArriveLaterOrAreReportedMissing)
{
    AppcastItem item = offeredItem(QString());
    item.releaseNotesURL = QUrl(QStringLiteral("https://norvane.example/notes.html"));
    driver.showUpdateFoundWithAppcastItem(item, {}, [](UpdateChoice) {});
    ReleaseNotesView* notes = driver.updateFoundDialog()->releaseNotes();
    EXPECT_TRUE(notes->isVisible());
    driver.showUpdateReleaseNotesWithDownloadData("<p>Fetched <b>notes</b></p>");
    EXPECT_EQ(notes->toPlainText(), QStringLiteral("Fetched notes"));
    driver.showUpdateReleaseNotesFailedToDownloadWithError(UpdateError(UpdateError::ReleaseNotesError, QString()));
    EXPECT_EQ(notes->toPlainText(), QStringLiteral("The release notes could not be loaded."));

    // An item with no notes at all shows no empty box.
    driver.showUpdateFoundWithAppcastItem(offeredItem(QString()), {}, [](UpdateChoice) {});
    EXPECT_FALSE(driver.updateFoundDialog()->releaseNotes()->isVisible());
}

TEST_F(StandardUserDriverTest, DownloadProgressCountsTheReceivedPiecesAndCancelsOnce)
{
    int cancellations = 0;
    driver.showDownloadInitiatedWithCancellation([&] { ++cancellations; });
    UpdateProgressDialog* dialog = driver.progressDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->stage(), UpdateProgressDialog::Stage::downloading);
    driver.showDownloadDidReceiveExpectedContentLength(4'000'000);
    driver.showDownloadDidReceiveDataOfLength(1'000'000);
    driver.showDownloadDidReceiveDataOfLength(1'000'000);
    EXPECT_EQ(dialog->receivedLength(), 2'000'000u);
    EXPECT_EQ(dialog->progressBar()->value() * 2, dialog->progressBar()->maximum());
    EXPECT_EQ(named<QLabel>(dialog, "detailText")->text(), QStringLiteral("2.0 MB of 4.0 MB"));
    // More than announced does not run the bar past its end.
    driver.showDownloadDidReceiveDataOfLength(9'000'000);
    EXPECT_EQ(dialog->progressBar()->value(), dialog->progressBar()->maximum());

    click(dialog, "cancelButton");
    EXPECT_EQ(cancellations, 1);
    EXPECT_EQ(driver.progressDialog(), nullptr);
    driver.dismissUpdateInstallation();
    EXPECT_EQ(cancellations, 1);
}

TEST_F(StandardUserDriverTest, ExtractionCannotBeCancelledAndReadyToInstallAnswersEitherWay)
{
    for (const auto& [button, choice] : {std::pair{"installButton", UpdateChoice::install},
                                         std::pair{"laterButton", UpdateChoice::dismiss}}) {
        SCOPED_TRACE(button);
        int cancellations = 0;
        QList<UpdateChoice> answers;
        driver.showDownloadInitiatedWithCancellation([&] { ++cancellations; });
        driver.showDownloadDidStartExtractingUpdate();
        UpdateProgressDialog* dialog = driver.progressDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_FALSE(named<QPushButton>(dialog, "cancelButton")->isVisible());
        driver.showExtractionReceivedProgress(0.5);
        EXPECT_EQ(dialog->progressBar()->value() * 2, dialog->progressBar()->maximum());
        // The window's close button does not stop the unpacking either.
        dialog->close();
        EXPECT_TRUE(dialog->isVisible());

        driver.showReadyToInstallAndRelaunch([&](UpdateChoice answer) { answers.append(answer); });
        EXPECT_EQ(dialog->stage(), UpdateProgressDialog::Stage::readyToInstall);
        click(dialog, button);
        EXPECT_EQ(answers, QList<UpdateChoice>{choice});
        if (choice == UpdateChoice::install) {
            // The window stays, saying the update is being put in place.
            EXPECT_EQ(dialog->stage(), UpdateProgressDialog::Stage::installing);
            driver.showInstallingUpdateWithApplicationTerminated(true, [] {});
            EXPECT_TRUE(dialog->isVisible());
        }
        driver.dismissUpdateInstallation();
        EXPECT_EQ(driver.progressDialog(), nullptr);
        EXPECT_EQ(cancellations, 0);
        EXPECT_EQ(answers.size(), 1);
    }
}

TEST_F(StandardUserDriverTest, ErrorsAndUpToDateWaitForTheirAcknowledgement)
{
    int acknowledgements = 0;
    driver.showUserInitiatedUpdateCheckWithCancellation([] {});
    driver.showUpdaterError(UpdateError(UpdateError::SignatureError, QStringLiteral("The update is not signed.")),
                            [&] { ++acknowledgements; });
    EXPECT_EQ(driver.progressDialog(), nullptr);
    QMessageBox* alert = driver.alert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), QStringLiteral("Update Error"));
    EXPECT_TRUE(alert->informativeText().contains(QStringLiteral("The update is not signed.")));
    // Ending the session leaves the message for the user to read.
    driver.dismissUpdateInstallation();
    ASSERT_EQ(driver.alert(), alert);
    EXPECT_EQ(acknowledgements, 0);
    QTest::mouseClick(alert->buttons().first(), Qt::LeftButton);
    EXPECT_EQ(acknowledgements, 1);

    driver.showUpdateNotFoundWithError(UpdateError(UpdateError::NoUpdateError, QString()), [&] { ++acknowledgements; });
    ASSERT_NE(driver.alert(), nullptr);
    EXPECT_EQ(driver.alert()->text(), QStringLiteral("You're up to date!"));
    EXPECT_TRUE(driver.alert()->informativeText().contains(QStringLiteral("Norvane 1.4.2")));
    driver.alert()->close();
    EXPECT_EQ(acknowledgements, 2);
}

TEST_F(StandardUserDriverTest, PermissionRequestAnswersWithTheButtonChosen)
{
    for (const auto& [button, automatic] :
         {std::pair{"checkAutomaticallyButton", true}, std::pair{"dontCheckButton", false}}) {
        SCOPED_TRACE(button);
        std::optional<bool> answer;
        driver.showUpdatePermissionRequest([&](bool value) { answer = value; });
        click(driver.permissionRequest(), button);
        EXPECT_EQ(answer, automatic);
    }
}

TEST_F(StandardUserDriverTest, InstalledAndRelaunchedAcknowledgesAtOnce)
{
    int acknowledgements = 0;
    driver.showUpdateInstalledAndRelaunched(true, [&] { ++acknowledgements; });
    EXPECT_EQ(acknowledgements, 1);
    EXPECT_EQ(driver.alert(), nullptr);
    driver.showUpdateInstalledAndRelaunched(false, [&] { ++acknowledgements; });
    ASSERT_NE(driver.alert(), nullptr);
    EXPECT_EQ(driver.alert()->text(), QStringLiteral("Update Installed"));
}

TEST_F(StandardUserDriverTest, EveryButtonHasAnAccessibleName)
{
    driver.showUpdateFoundWithAppcastItem(offeredItem(), {}, [](UpdateChoice) {});
    driver.showDownloadInitiatedWithCancellation([] {});
    for (QWidget* window : {static_cast<QWidget*>(driver.updateFoundDialog()), static_cast<QWidget*>(driver.progressDialog())}) {
        ASSERT_NE(window, nullptr);
        for (QPushButton* button : window->findChildren<QPushButton*>())
            EXPECT_FALSE(button->text().isEmpty()) << button->objectName().toStdString();
    }
    EXPECT_EQ(driver.updateFoundDialog()->releaseNotes()->accessibleName(), QStringLiteral("Release notes"));
}
