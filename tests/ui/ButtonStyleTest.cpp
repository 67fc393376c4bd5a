#include "Rendering.h"

#include "ui/Fonts.h"
#include "ui/styles/PrimaryButtonStyle.h"
#include "ui/styles/SecondaryButtonStyle.h"
#include "ui/styles/Styles.h"

#include <QHBoxLayout>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

enum class Kind { Primary, Secondary };
enum class State { Rest, Pressed, Disabled };

struct Case
{
    const char* name;
    Kind kind;
    State state;
    QColor ground; // as seen on the white window
    QColor label;
};

void apply(Kind kind, QPushButton* button)
{
    if (kind == Kind::Primary)
        PrimaryButtonStyle::apply(button);
    else
        SecondaryButtonStyle::apply(button);
}

// Antialiased text blends the label colour into the ground: every pixel of the label
// area lies on the line between the two.
bool onBlend(QRgb pixel, const QColor& ground, const QColor& label)
{
    const double dr = label.red() - ground.red(), dg = label.green() - ground.green(), db = label.blue() - ground.blue();
    const double length2 = dr * dr + dg * dg + db * db;
    const double t = std::clamp(((qRed(pixel) - ground.red()) * dr + (qGreen(pixel) - ground.green()) * dg +
                                 (qBlue(pixel) - ground.blue()) * db) / length2, 0.0, 1.0);
    const double er = ground.red() + t * dr - qRed(pixel), eg = ground.green() + t * dg - qGreen(pixel),
                 eb = ground.blue() + t * db - qBlue(pixel);
    return std::sqrt(er * er + eg * eg + eb * eb) <= 8.0;
}

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

class ButtonStyleLook : public ::testing::TestWithParam<Case>
{
};

} // namespace

TEST_P(ButtonStyleLook, GroundLabelBorderAndSize)
{
    Fonts::install();
    const Case& c = GetParam();
    std::unique_ptr<QWidget> window(Rendering::whiteWindow());
    auto* layout = new QHBoxLayout(window.get());
    layout->setContentsMargins(10, 10, 10, 10);
    auto* button = new QPushButton(QStringLiteral("login with password"));
    apply(c.kind, button);
    layout->addWidget(button);
    button->setDown(c.state == State::Pressed);
    button->setEnabled(c.state != State::Disabled);

    const QImage image = Rendering::grab(window.get());
    const QRect r = button->geometry();

    const QSize label = QFontMetrics(button->font()).size(Qt::TextShowMnemonic, button->text());
    EXPECT_EQ(r.size(), label + QSize(50, 8));

    const QColor black(Qt::black);
    const auto isBlack = [&](QRgb p) { return Rendering::near(p, black, 0); };
    const int border = Styles::buttonBorderWidth;
    for (const QRect& strip : {QRect(r.left(), r.top(), r.width(), border), QRect(r.left(), r.bottom() - 1, r.width(), border),
                               QRect(r.left(), r.top(), border, r.height()), QRect(r.right() - 1, r.top(), border, r.height())})
        EXPECT_EQ(Rendering::countPixels(image, strip, isBlack), strip.width() * strip.height()) << c.name;

    // Just inside the border the ground shows, in the middle of each edge.
    for (const QPoint& p : {QPoint(r.left() + 2, r.center().y()), QPoint(r.right() - 2, r.center().y()),
                            QPoint(r.center().x(), r.top() + 2), QPoint(r.center().x(), r.bottom() - 2)})
        EXPECT_TRUE(Rendering::near(image.pixel(p), c.ground)) << c.name << " at " << p.x() << "," << p.y();

    const QRect labelArea = r.marginsRemoved(Styles::buttonPadding);
    EXPECT_GT(Rendering::countPixels(image, labelArea, [&](QRgb p) { return Rendering::near(p, c.label, 16); }), 20)
        << c.name;
    EXPECT_EQ(Rendering::countPixels(image, r.adjusted(border, border, -border, -border),
                                     [&](QRgb p) { return !onBlend(p, c.ground, c.label); }),
              0)
        << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    States, ButtonStyleLook,
    ::testing::Values(Case{"PrimaryRest", Kind::Primary, State::Rest, QColor(8, 140, 188), Qt::white},
                      Case{"PrimaryPressed", Kind::Primary, State::Pressed, Qt::black, Qt::white},
                      Case{"PrimaryDisabled", Kind::Primary, State::Disabled, QColor(8, 140, 188), Qt::white},
                      Case{"SecondaryRest", Kind::Secondary, State::Rest, Qt::white, Qt::black},
                      Case{"SecondaryPressed", Kind::Secondary, State::Pressed, Qt::black, Qt::white},
                      Case{"SecondaryDisabled", Kind::Secondary, State::Disabled, Qt::white, Qt::black}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(ButtonStyle, SecondaryGroundIsTransparent)
{
    std::unique_ptr<QWidget> window(Rendering::whiteWindow());
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, QColor(200, 30, 30));
    window->setPalette(palette);
    auto* layout = new QHBoxLayout(window.get());
    auto* button = new QPushButton(QStringLiteral("request review"));
    SecondaryButtonStyle::apply(button);
    layout->addWidget(button);
    const QImage image = Rendering::grab(window.get());
    const QRect r = button->geometry();
    EXPECT_TRUE(Rendering::near(image.pixel(r.left() + 4, r.center().y()), QColor(200, 30, 30)));
}

TEST(ButtonStyle, SizeHintFollowsTheStyleAppliedLater)
{
    QPushButton button(QStringLiteral("add"));
    const QSize before = button.sizeHint();
    PrimaryButtonStyle::apply(&button);
    const QSize label = QFontMetrics(button.font()).size(Qt::TextShowMnemonic, button.text());
    EXPECT_NE(button.sizeHint(), before);
    EXPECT_EQ(button.sizeHint(), ButtonStyle::sizeForLabel(label));
    EXPECT_EQ(ButtonStyle::sizeForLabel(QSize(140, 16)), QSize(190, 24));
    EXPECT_EQ(button.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
}
