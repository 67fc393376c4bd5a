#include "UrlCatcher.h"

#include "control/IpcConnection.h"
#include "core/Device.h"
#include "core/Log.h"
#include "platform/Bundle.h"
#include "platform/Paths.h"
#include "ui/Fonts.h"
#include "ui/components/LinkButton.h"
#include "ui/pages/HelpAndSupportView.h"

#include "FilterExtensionPeer.h"
#include "PrivateBus.h"
#include "QtTestPrinters.h"
#include "TestEnvironment.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

// The desktop's file manager on the test's private session bus, recording what it was
// asked to show.
class RecordingFileManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QList<QStringList> shownItems;

public slots:
    void ShowItems(const QStringList& uris, const QString& startupId)
    {
        Q_UNUSED(startupId);
        shownItems.append(uris);
    }
};

// Takes the place of the mail program and of opening a folder.
class SchemeCatcher : public QObject
{
    Q_OBJECT
public:
    explicit SchemeCatcher(const QString& scheme) : m_scheme(scheme)
    {
        QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~SchemeCatcher() override { QDesktopServices::unsetUrlHandler(m_scheme); }
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.append(url); }

private:
    QString m_scheme;
};

namespace {

QString today()
{
    return QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
}

QString logExport(const QString& kind)
{
    return Paths::downloadsDirectory() + QStringLiteral("/nvlog/") + kind + QLatin1Char('_') + today() +
           QStringLiteral(".txt");
}

QString certificateExport()
{
    return Paths::downloadsDirectory() + QStringLiteral("/nvcert/Norvane Filtering Certificate.cer");
}

QStringList folderEntries(const QString& folder)
{
    return QDir(Paths::downloadsDirectory() + QLatin1Char('/') + folder).entryList(QDir::Files);
}

QString uriOf(const QString& path)
{
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

class HelpAndSupportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Fonts::install();
        Bundle::setMainBundlePath(QStringLiteral(NORVANE_TEST_BUNDLE_DIR));
        ASSERT_TRUE(bus.isRunning()) << "dbus-daemon is needed";
        QDBusConnection managerBus = bus.connect(QStringLiteral("file-manager"));
        ASSERT_TRUE(managerBus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &fileManager,
                                              QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(managerBus.registerService(QStringLiteral("org.freedesktop.FileManager1")));
        log(QStringLiteral("The program's own log, as the page copies it"));
        page = std::make_unique<HelpAndSupportView>();
        page->resize(800, 600);
        page->show();
    }

    void connectExtension()
    {
        ASSERT_TRUE(extension.start());
        std::optional<bool> registered;
        IpcConnection::shared().connectToProvider(getpid(), [&](bool ok) { registered = ok; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return registered.has_value(); }, 15000));
        ASSERT_TRUE(*registered);
    }

    void TearDown() override
    {
        page.reset();
        if (extension.isChildRunning()) {
            EXPECT_EQ(extension.stop().value_or(-1), 0);
            // The link tries once more when the extension goes; let that settle before the
            // process ends.
            EXPECT_TRUE(
                QTest::qWaitFor([] { return IpcConnection::shared().connectionCount() == 0; }, 10000));
        }
    }

    // The bus must exist before anything connects to the session bus.
    PrivateBus bus{PrivateBus::Kind::session};
    RecordingFileManager fileManager;
    // Where no file manager answered, the folder would open: never on the real desktop.
    SchemeCatcher folders{QStringLiteral("file")};
    FilterExtensionPeer extension;
    std::unique_ptr<HelpAndSupportView> page;
};

} // namespace

TEST_F(HelpAndSupportTest, ViewLogFilesWithTheExtensionExportsAndRevealsAllThree)
{
    connectExtension();
    QTest::mouseClick(page->viewLogFilesButton(), Qt::LeftButton);
    // The own log is copied at once, lines logged by the two sends included.
    const QByteArray ownLog = [] {
        QFile file(Log::shared().currentFilePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    ASSERT_FALSE(ownLog.isEmpty());

    ASSERT_TRUE(QTest::qWaitFor([&] { return fileManager.shownItems.size() == 3; }, 15000));
    QStringList shown;
    for (const QStringList& items : std::as_const(fileManager.shownItems))
        shown += items;
    EXPECT_EQ(shown, (QStringList{uriOf(logExport(QStringLiteral("golog"))),
                                  uriOf(logExport(QStringLiteral("service"))),
                                  uriOf(logExport(QStringLiteral("gui")))}));
    EXPECT_TRUE(folders.opened.isEmpty());

    ASSERT_TRUE(extension.waitForReceived(2, 1));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return TestEnvironment::readFile(logExport(QStringLiteral("golog")))
                       .contains(QStringLiteral("log goLog")) &&
                   TestEnvironment::readFile(logExport(QStringLiteral("service")))
                       .contains(QStringLiteral("log serviceLog"));
        },
        15000));
    QFile gui(logExport(QStringLiteral("gui")));
    ASSERT_TRUE(gui.open(QIODevice::ReadOnly));
    EXPECT_EQ(gui.readAll(), ownLog);
    EXPECT_EQ(folderEntries(QStringLiteral("nvlog")).size(), 3);
}

TEST_F(HelpAndSupportTest, ExportRootCertificateWritesTheExtensionsPem)
{
    connectExtension();
    QTest::mouseClick(page->exportRootCertificateButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileManager.shownItems.size() == 1; }, 15000));
    EXPECT_EQ(fileManager.shownItems.first(), QStringList{uriOf(certificateExport())});
    const QString pem = extension.certificatePem();
    ASSERT_TRUE(pem.startsWith(QStringLiteral("-----BEGIN CERTIFICATE-----")));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return TestEnvironment::readFile(certificateExport()) == pem; }, 15000));

    // A second export replaces the first.
    QTest::mouseClick(page->exportRootCertificateButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileManager.shownItems.size() == 2; }, 15000));
    ASSERT_TRUE(extension.waitForReceived(2, 9));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return TestEnvironment::readFile(certificateExport()) == pem; }, 15000));
    EXPECT_EQ(folderEntries(QStringLiteral("nvcert")),
              QStringList{QStringLiteral("Norvane Filtering Certificate.cer")});
}

TEST_F(HelpAndSupportTest, WithoutTheExtensionOnlyTheOwnLogIsLeft)
{
    // Earlier exports of the same day, longer than what replaces them.
    TestEnvironment::writeFile(logExport(QStringLiteral("gui")), QByteArray(200000, 'o'));
    TestEnvironment::writeFile(logExport(QStringLiteral("golog")), "stale extension log");
    TestEnvironment::writeFile(certificateExport(), "stale certificate");

    QTest::mouseClick(page->viewLogFilesButton(), Qt::LeftButton);
    QTest::mouseClick(page->exportRootCertificateButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return folderEntries(QStringLiteral("nvlog")) ==
                       QStringList{QLatin1String("gui_") + today() + QLatin1String(".txt")} &&
                   folderEntries(QStringLiteral("nvcert")).isEmpty() && fileManager.shownItems.size() == 1;
        },
        15000))
        << folderEntries(QStringLiteral("nvlog")).join(' ').toStdString();
    EXPECT_EQ(fileManager.shownItems.first(), QStringList{uriOf(logExport(QStringLiteral("gui")))});
    const QString gui = TestEnvironment::readFile(logExport(QStringLiteral("gui")));
    EXPECT_FALSE(gui.contains(QString(100, QLatin1Char('o'))));
    EXPECT_TRUE(gui.contains(QStringLiteral("IpcConnection not registered with the provider")));
}

TEST_F(HelpAndSupportTest, ExportsGoToTheDownloadsFolderTheDesktopNames)
{
    const QString named = TestEnvironment::root() + QStringLiteral("/home/Téléchargements");
    TestEnvironment::writeFile(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/user-dirs.dirs"),
                               "XDG_DOWNLOAD_DIR=\"$HOME/Téléchargements\"\n");
    ASSERT_EQ(Paths::downloadsDirectory(), named);
    QTest::mouseClick(page->viewLogFilesButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileManager.shownItems.size() == 1; }, 15000));
    EXPECT_EQ(fileManager.shownItems.first(),
              QStringList{uriOf(named + QStringLiteral("/nvlog/gui_") + today() + QStringLiteral(".txt"))});
}

TEST_F(HelpAndSupportTest, NoDownloadsFolderEndsTheExportsQuietly)
{
    const QString downloads = Paths::downloadsDirectory();
    ASSERT_TRUE(QDir(downloads).removeRecursively());
    TestEnvironment::writeFile(downloads, "a file where the folder should be");
    QTest::mouseClick(page->viewLogFilesButton(), Qt::LeftButton);
    QTest::mouseClick(page->exportRootCertificateButton(), Qt::LeftButton);
    QTest::qWait(100);
    EXPECT_TRUE(fileManager.shownItems.isEmpty());
    EXPECT_TRUE(folders.opened.isEmpty());
    EXPECT_EQ(TestEnvironment::readFile(downloads), QStringLiteral("a file where the folder should be"));
}

TEST_F(HelpAndSupportTest, TheActivationIdentifierIsCopiedOnAClick)
{
    const QString caption = QStringLiteral("Activation Identifier (click to copy):     ");
    EXPECT_EQ(QLatin1String(HelpAndSupportView::activationIdentifierCaption), caption);
    const QString identifier = Device::fingerprint();
    EXPECT_EQ(page->activationIdentifier(), identifier);
    const QString text = page->activationIdentifierButton()->text();
    EXPECT_EQ(text, caption + identifier);
    EXPECT_EQ(text.mid(caption.size() - 6, 6), QStringLiteral(":     ")) << "five spaces after the colon";

    QApplication::clipboard()->setText(QStringLiteral("something else"));
    QTest::mouseClick(page->activationIdentifierButton(), Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text(), identifier);
}

TEST_F(HelpAndSupportTest, LinksOpenTheirAddressesAndEveryControlIsNamed)
{
    qputenv("NORVANE_WEBSITE_URL", "https://www.norvane.example");
    qputenv("NORVANE_KNOWLEDGE_BASE_URL", "https://help.norvane.example/kb");
    qputenv("NORVANE_RELEASE_NOTES_URL", "https://www.norvane.example/release-notes");
    qputenv("NORVANE_SUPPORT_EMAIL", "help@norvane.example");
    qputenv("NORVANE_SUPPORT_TELEPHONE", "+1 555 0100");
    HelpAndSupportView view;
    view.show();
    UrlCatcher browser;
    SchemeCatcher mail(QStringLiteral("mailto"));
    const QList<LinkButton*> links = view.links();
    ASSERT_EQ(links.size(), 4);
    QStringList texts;
    for (LinkButton* link : links) {
        texts.append(link->text());
        QTest::mouseClick(link, Qt::LeftButton);
    }
    EXPECT_EQ(texts, (QStringList{QStringLiteral("www.norvane.example"), QStringLiteral("Knowledge Base"),
                                  QStringLiteral("Release Notes"), QStringLiteral("help@norvane.example")}));
    EXPECT_EQ(browser.opened,
              (QList<QUrl>{QUrl(QStringLiteral("https://www.norvane.example")),
                           QUrl(QStringLiteral("https://help.norvane.example/kb")),
                           QUrl(QStringLiteral("https://www.norvane.example/release-notes"))}));
    EXPECT_EQ(mail.opened, QList<QUrl>{QUrl(QStringLiteral("mailto:help@norvane.example"))});
    EXPECT_EQ(view.telephoneLabel()->text(), QStringLiteral("+1 555 0100"));

    int named = 0;
    for (QWidget* widget : view.findChildren<QWidget*>()) {
        if (!qobject_cast<QAbstractButton*>(widget) && !qobject_cast<QLabel*>(widget))
            continue;
        ++named;
        EXPECT_FALSE(widget->accessibleName().trimmed().isEmpty()) << widget->objectName().toStdString();
    }
    // Four links, two buttons, the identifier; the title, two headings and the telephone.
    EXPECT_EQ(named, 4 + 2 + 1 + 3 + 1);
}

#include "HelpAndSupportViewTest.moc"
