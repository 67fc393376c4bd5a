#include "Rendering.h"

#include "core/LoadingModel.h"
#include "core/SessionObservableObject.h"
#include "ui/ContentView.h"
#include "ui/Fonts.h"
#include "ui/components/LineLimitedLabel.h"
#include "ui/pages/LoginView.h"
#include "ui/styles/Styles.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QString screenshotPath(const char* file)
{
    const QString folder = QStringLiteral(NORVANE_BINARY_DIR "/screenshots");
    EXPECT_TRUE(QDir().mkpath(folder));
    return folder + QLatin1Char('/') + QString::fromLatin1(file);
}

// Where `widget` lies in the window content.
QRect inView(const QWidget* widget, const QWidget* view)
{
    return QRect(widget->mapTo(view, QPoint(0, 0)), widget->size());
}

} // namespace

// The window content signed out, as the user first sees it, and with a message: written
// to screenshots/ in the build folder for a person to look at, and measured here.
TEST(LoginScreenshot, SignInPageLayoutSizesAndColours)
{
    Fonts::install();
    SessionObservableObject session;
    LoadingModel loading;
    ContentView view(&session, &loading);
    view.resize(1000, 700);
    view.show();
    // The first poll finds no server here; its answer takes the busy overlay away.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !loading.isLoading(); }, 15000));
    auto* page = qobject_cast<LoginView*>(view.page());
    ASSERT_NE(page, nullptr);

    QImage image = Rendering::grab(&view);
    ASSERT_EQ(image.size(), QSize(1000, 700));
    ASSERT_TRUE(image.save(screenshotPath("login.png")));

    // The form: 300 wide, at least 150 high, centred in the page area.
    auto* form = page->findChild<QWidget*>(QStringLiteral("form"));
    ASSERT_NE(form, nullptr);
    const QRect formRect = inView(form, &view);
    const QRect pageRect = inView(view.pageArea(), &view);
    EXPECT_EQ(formRect.width(), 300);
    EXPECT_GE(formRect.height(), 150);
    EXPECT_LE(std::abs(formRect.center().x() - pageRect.center().x()), 1);
    EXPECT_LE(std::abs(formRect.center().y() - pageRect.center().y()), 1);

    // Title, labels, fields and buttons top to bottom, in that order.
    auto* title = page->findChild<QLabel*>(QStringLiteral("title"));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), QStringLiteral("Please Sign In"));
    EXPECT_EQ(title->font().pixelSize(), 20);
    EXPECT_EQ(title->font().weight(), QFont::Normal);
    EXPECT_LE(std::abs(inView(title, &view).center().x() - formRect.center().x()), 1);
    const QStringList order{QStringLiteral("title"), QStringLiteral("emailLabel"), QStringLiteral("emailField"),
                            QStringLiteral("passwordLabel"), QStringLiteral("passwordField"),
                            QStringLiteral("loginWithPasswordButton"), QStringLiteral("loginWithEmailButton")};
    int previousBottom = formRect.top() - 1;
    for (const QString& name : order) {
        auto* widget = page->findChild<QWidget*>(name);
        ASSERT_NE(widget, nullptr) << name.toStdString();
        const QRect rect = inView(widget, &view);
        EXPECT_GT(rect.top(), previousBottom) << name.toStdString();
        EXPECT_TRUE(formRect.contains(rect)) << name.toStdString();
        previousBottom = rect.bottom();
    }
    for (const char* name : {"emailLabel", "passwordLabel"})
        EXPECT_EQ(inView(page->findChild<QWidget*>(QString::fromLatin1(name)), &view).left(), formRect.left());
    auto* emailField = page->findChild<QLineEdit*>(QStringLiteral("emailField"));
    auto* passwordField = page->findChild<QLineEdit*>(QStringLiteral("passwordField"));
    EXPECT_EQ(emailField->width(), 300);
    EXPECT_EQ(emailField->placeholderText(), QStringLiteral("E-Mail"));
    EXPECT_EQ(passwordField->placeholderText(), QStringLiteral("Password"));
    EXPECT_EQ(passwordField->echoMode(), QLineEdit::Password);
    EXPECT_EQ(inView(emailField, &view).top() - inView(page->findChild<QWidget*>(QStringLiteral("emailLabel")), &view).bottom() - 1,
              LoginView::fieldGroupSpacing);

    // Both buttons in the primary style: accent ground inside the black border, centred.
    for (const char* name : {"loginWithPasswordButton", "loginWithEmailButton"}) {
        SCOPED_TRACE(name);
        auto* button = page->findChild<QPushButton*>(QString::fromLatin1(name));
        const QRect rect = inView(button, &view);
        EXPECT_LE(std::abs(rect.center().x() - formRect.center().x()), 1);
        EXPECT_TRUE(Rendering::near(image.pixel(rect.left(), rect.center().y()), Qt::black, 0));
        EXPECT_TRUE(Rendering::near(image.pixel(rect.left() + 6, rect.center().y()), Styles::accentColor(), 0));
    }
    EXPECT_EQ(page->findChild<QPushButton*>(QStringLiteral("loginWithPasswordButton"))->text(),
              QStringLiteral("login with password"));
    EXPECT_EQ(page->findChild<QPushButton*>(QStringLiteral("loginWithEmailButton"))->text(),
              QStringLiteral("login with e-mail"));
    EXPECT_TRUE(Rendering::near(image.pixel(pageRect.left() + 5, pageRect.bottom() - 5), Qt::white, 0));

    // A message in red below the fields; the form grows evenly and stays centred.
    QTest::keyClicks(emailField, QStringLiteral("not an address"));
    const QRect formBefore = inView(form, &view);
    const int titleOffset = inView(title, &view).top() - formBefore.top();
    QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("loginWithPasswordButton")), Qt::LeftButton);
    // The new size goes up from the message to the page in turn.
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->height() > formBefore.height(); }, 5000));
    image = Rendering::grab(&view);
    ASSERT_TRUE(image.save(screenshotPath("login-error.png")));
    auto* message = page->findChild<LineLimitedLabel*>(QStringLiteral("errorText"));
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->displayedLines(), QStringList{QStringLiteral("Invalid email")});
    const QRect messageRect = inView(message, &view);
    EXPECT_GT(messageRect.top(), inView(passwordField, &view).bottom());
    EXPECT_LT(messageRect.bottom(), inView(page->findChild<QWidget*>(QStringLiteral("loginWithPasswordButton")), &view).top());
    EXPECT_GT(Rendering::countPixels(image, messageRect,
                                     [](QRgb pixel) { return Rendering::near(pixel, Styles::errorTextColor(), 0); }),
              10);
    const QRect grown = inView(form, &view);
    EXPECT_EQ(grown.height(), formBefore.height() + message->fontMetrics().lineSpacing());
    EXPECT_LE(std::abs(grown.center().y() - pageRect.center().y()), 1);
    EXPECT_EQ(inView(title, &view).top() - grown.top(), titleOffset);
}
