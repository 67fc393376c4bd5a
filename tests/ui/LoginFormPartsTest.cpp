#include "core/LoadingModel.h"
#include "core/SessionObservableObject.h"
#include "ui/Fonts.h"
#include "ui/components/LineLimitedLabel.h"
#include "ui/pages/LoginView.h"

#include <QFontMetrics>
#include <QTimer>

#include <gtest/gtest.h>

TEST(LoginEmailCheck, WholeTextMustMatchThePattern)
{
    struct Case
    {
        const char* email;
        bool valid;
    };
    const Case cases[] = {
        {"user@example.com", true},
        {"a.b_c%d+e-f@sub-domain.example.org", true},
        {"USER@EXAMPLE.COM", true},
        {"1@2.io", true},
        {"user@example", false},          // no dot after the at sign
        {"user@example.c", false},        // last part a single letter
        {"us er@example.com", false},     // a space
        {"user@example.com ", false},     // trailing space: the whole text must match
        {" user@example.com", false},
        {"user@example.com\n", false},
        {"line@one.com\nline@two.com", false},
        {"user@example.c0m", false},      // last part letters only
        {"user@example.com.", false},
        {"@example.com", false},
        {"user@@example.com", false},
        {"user@.com", false},             // dot right after the at sign leaves no domain
        {"jürgen@example.com", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LoginView::isValidEmail(QString::fromUtf8(c.email)), c.valid) << c.email;

    const QString longest = QStringLiteral("a@b.") + QString(64, QLatin1Char('x'));
    EXPECT_TRUE(LoginView::isValidEmail(longest));
    EXPECT_FALSE(LoginView::isValidEmail(longest + QLatin1Char('x')));
}

TEST(LineLimitedLabel, WrapsAndElidesTheLastOfItsLines)
{
    Fonts::install();
    LineLimitedLabel label(4);
    label.setFixedWidth(300);
    const QFontMetrics metrics(label.font());
    const QChar ellipsis(0x2026);

    label.setText(QStringLiteral("Short"));
    EXPECT_EQ(label.linesForWidth(300), QStringList{QStringLiteral("Short")});
    EXPECT_EQ(label.sizeHint(), QSize(metrics.horizontalAdvance(QStringLiteral("Short")), metrics.lineSpacing()));

    label.setText(QString());
    EXPECT_TRUE(label.linesForWidth(300).isEmpty());
    EXPECT_EQ(label.sizeHint().height(), 0);

    // Three short lines stay three; five become four, the fourth saying more follows.
    label.setText(QStringLiteral("one\ntwo\r\nthree"));
    EXPECT_EQ(label.linesForWidth(300), (QStringList{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}));
    label.setText(QStringLiteral("one\ntwo\nthree\nfour\nfive"));
    QStringList lines = label.linesForWidth(300);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[2], QStringLiteral("three"));
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("four"))) << lines[3].toStdString();
    EXPECT_TRUE(lines[3].endsWith(ellipsis)) << lines[3].toStdString();
    EXPECT_EQ(label.heightForWidth(300), 4 * metrics.lineSpacing());

    // A long text wraps within the width; a word longer than a line breaks anywhere.
    label.setText(QString(2000, QLatin1Char('w')) + QStringLiteral(" tail"));
    lines = label.linesForWidth(300);
    ASSERT_EQ(lines.size(), 4);
    for (const QString& line : lines)
        EXPECT_LE(metrics.horizontalAdvance(line), 300);
    EXPECT_TRUE(lines[3].endsWith(ellipsis));

    // Markup is text.
    label.setText(QStringLiteral("<b>bold</b>"));
    EXPECT_EQ(label.linesForWidth(300), QStringList{QStringLiteral("<b>bold</b>")});
}

TEST(LineLimitedLabel, HugeTextCostsNoMoreThanItsFirstLines)
{
    LineLimitedLabel label(4);
    label.setFixedWidth(300);
    // 8 Mi empty lines: only the start is laid out, and the cut still shows.
    label.setText(QString(8 * 1024 * 1024, QLatin1Char('\n')).replace(0, 5, QStringLiteral("first")));
    const QStringList lines = label.linesForWidth(300);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], QStringLiteral("first"));
    EXPECT_TRUE(lines[3].endsWith(QChar(0x2026)));
}

TEST(LoginViewTimer, TicksEveryTenSecondsOnceThePageAppears)
{
    SessionObservableObject session;
    LoadingModel loading;
    LoginView page(&loading, &session);
    EXPECT_EQ(page.timer()->intervalAsDuration(), std::chrono::seconds(10));
    EXPECT_EQ(page.timer()->timerType(), Qt::PreciseTimer);
    EXPECT_FALSE(page.timer()->isActive());
    EXPECT_FALSE(loading.isLoading()) << "nothing is sent before the page appears";
}
