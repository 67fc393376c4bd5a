#include "Rendering.h"

#include "core/LoadingModel.h"
#include "ui/Fonts.h"
#include "ui/components/LoadingView.h"
#include "ui/icons/FAText.h"
#include "ui/styles/PrimaryButtonStyle.h"
#include "ui/styles/SecondaryButtonStyle.h"
#include "ui/styles/Styles.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>

namespace {

QWidget* filled(const QColor& ground, const QColor& foreground)
{
    auto* widget = new QWidget;
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, ground);
    palette.setColor(QPalette::WindowText, foreground);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
    return widget;
}

QPushButton* styled(const QString& text, bool primary, bool pressed, bool enabled)
{
    auto* button = new QPushButton(text);
    if (primary)
        PrimaryButtonStyle::apply(button);
    else
        SecondaryButtonStyle::apply(button);
    button->setDown(pressed);
    button->setEnabled(enabled);
    return button;
}

} // namespace

// Writes screenshots/styles.png into the build folder for a person to look at: both
// button styles at rest, pressed and disabled, icons as the sidebar and title bar show
// them, and the busy overlay over a page.
TEST(StylesScreenshot, RendersThePanel)
{
    Fonts::install();
    std::unique_ptr<QWidget> window(Rendering::whiteWindow());
    auto* grid = new QGridLayout(window.get());
    grid->setContentsMargins(20, 20, 20, 20);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(16);

    const QStringList states = {QStringLiteral("rest"), QStringLiteral("pressed"), QStringLiteral("disabled")};
    for (int column = 0; column < 3; ++column)
        grid->addWidget(new QLabel(states[column]), 0, column + 1, Qt::AlignCenter);
    grid->addWidget(new QLabel(QStringLiteral("Primary")), 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("Secondary")), 2, 0);
    for (int column = 0; column < 3; ++column) {
        grid->addWidget(styled(QStringLiteral("login with password"), true, column == 1, column != 2), 1, column + 1,
                        Qt::AlignCenter);
        grid->addWidget(styled(QStringLiteral("request review"), false, column == 1, column != 2), 2, column + 1,
                        Qt::AlignCenter);
    }

    // Sidebar entries: white icon and title on the sidebar's gray, the shown one on the accent.
    auto* sidebar = filled(QColor(68, 68, 68), Qt::white);
    sidebar->setFixedWidth(250);
    auto* entries = new QVBoxLayout(sidebar);
    const QList<QPair<QString, QString>> pages = {{QStringLiteral("history"), QStringLiteral("Block History")},
                                                  {QStringLiteral("ban"), QStringLiteral("My Blocked Sites")},
                                                  {QStringLiteral("user-lock"), QStringLiteral("Time Restrictions")},
                                                  {QStringLiteral("eye"), QStringLiteral("Relaxed Policy")},
                                                  {QStringLiteral("cog"), QStringLiteral("Advanced")},
                                                  {QStringLiteral("stethoscope"), QStringLiteral("Filter Test")},
                                                  {QStringLiteral("question-circle"), QStringLiteral("Help & Support")}};
    for (int i = 0; i < pages.size(); ++i) {
        auto* entry = filled(i == 0 ? Styles::accentColor() : QColor(68, 68, 68), Qt::white);
        entry->setFixedSize(217, 40);
        auto* row = new QHBoxLayout(entry);
        row->setContentsMargins(20, 0, 0, 0);
        row->addWidget(new FAText(pages[i].first, 12));
        row->addWidget(new QLabel(pages[i].second));
        row->addStretch();
        entries->addWidget(entry);
    }
    grid->addWidget(sidebar, 3, 0, 2, 1);

    // Title bar icons on the accent colour, and the filter-test marks.
    auto* titleBar = filled(Styles::accentColor(), Qt::white);
    titleBar->setFixedHeight(30);
    auto* bar = new QHBoxLayout(titleBar);
    bar->setContentsMargins(8, 0, 8, 0);
    bar->addWidget(new FAText(QStringLiteral("times"), 12));
    bar->addWidget(new QLabel(QStringLiteral("NORVANE - VERSION 1.4.2")));
    bar->addStretch();
    bar->addWidget(new FAText(QStringLiteral("user"), 14));
    bar->addWidget(new QLabel(QStringLiteral("Internet")));
    bar->addWidget(new FAText(QStringLiteral("check-circle"), 16));
    bar->addWidget(new FAText(QStringLiteral("times-circle"), 16));
    grid->addWidget(titleBar, 3, 1, 1, 3);

    auto* marks = new QHBoxLayout;
    auto* passed = new FAText(QStringLiteral("check"), 20);
    passed->setColor(QColor(40, 205, 65));
    auto* failed = new FAText(QStringLiteral("times"), 20);
    failed->setColor(QColor(255, 59, 48));
    marks->addWidget(passed);
    marks->addWidget(failed);
    marks->addWidget(new FAText(QStringLiteral("no-such-icon"), 20));
    marks->addStretch();

    // A page with the busy overlay over it.
    auto* page = filled(Qt::white, Qt::black);
    page->setFixedSize(420, 200);
    auto* content = new QVBoxLayout(page);
    auto* title = new QLabel(QStringLiteral("Block History"));
    title->setFont(Fonts::system(20));
    content->addWidget(title);
    content->addWidget(new QLabel(QStringLiteral("example.com    Adult content    12:04")));
    content->addStretch();
    content->addWidget(styled(QStringLiteral("request review"), false, false, true), 0, Qt::AlignRight);
    LoadingModel model;
    model.setIsLoading(true);
    LoadingView::attach(page, &model);

    auto* right = new QVBoxLayout;
    right->addLayout(marks);
    right->addWidget(page);
    grid->addLayout(right, 4, 1, 1, 3);

    const QImage image = Rendering::grab(window.get());
    const QString folder = QStringLiteral(NORVANE_BINARY_DIR "/screenshots");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/styles.png");
    ASSERT_TRUE(image.save(path));
    EXPECT_FALSE(QImage(path).isNull());
}
