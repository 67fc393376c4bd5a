#include "Rendering.h"

#include "core/LoadingModel.h"
#include "ui/components/ActivityIndicator.h"
#include "ui/components/LoadingView.h"
#include "ui/styles/Styles.h"

#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Half of the overlay's gray over white.
QColor grayOverWhite()
{
    const QColor gray = Styles::busyOverlayColor();
    return QColor((gray.red() + 255) / 2, (gray.green() + 255) / 2, (gray.blue() + 255) / 2);
}

} // namespace

TEST(LoadingView, ExistsOnlyWhileLoadingAndCoversTheWholeContainer)
{
    std::unique_ptr<QWidget> container(Rendering::whiteWindow());
    container->resize(400, 300);
    LoadingModel model;
    LoadingView::attach(container.get(), &model);
    EXPECT_EQ(LoadingView::over(container.get()), nullptr);
    EXPECT_TRUE(Rendering::near(Rendering::grab(container.get()).pixel(5, 5), Qt::white));

    model.setIsLoading(true);
    QPointer<LoadingView> overlay = LoadingView::over(container.get());
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay->geometry(), container->rect());
    QImage image = Rendering::grab(container.get());
    for (const QPoint& p : {QPoint(0, 0), QPoint(399, 0), QPoint(0, 299), QPoint(399, 299), QPoint(100, 150)})
        EXPECT_TRUE(Rendering::near(image.pixel(p), grayOverWhite(), 2)) << p.x() << "," << p.y();

    container->resize(640, 480);
    EXPECT_EQ(overlay->geometry(), container->rect());

    // A second "true" adds no second overlay.
    model.setIsLoading(true);
    EXPECT_EQ(container->findChildren<LoadingView*>().size(), 1);

    model.setIsLoading(false);
    EXPECT_TRUE(overlay.isNull());
    EXPECT_TRUE(Rendering::near(Rendering::grab(container.get()).pixel(5, 5), Qt::white));
}

TEST(LoadingView, StaysAboveContentAddedAfterIt)
{
    std::unique_ptr<QWidget> container(Rendering::whiteWindow());
    container->resize(300, 200);
    LoadingModel model;
    model.setIsLoading(true);
    LoadingView::attach(container.get(), &model);

    // The window swaps its page while the overlay is up.
    auto* page = new QLabel(container.get());
    page->setAutoFillBackground(true);
    QPalette palette = page->palette();
    palette.setColor(QPalette::Window, Qt::black);
    page->setPalette(palette);
    page->setGeometry(container->rect());
    page->show();

    const QImage image = Rendering::grab(container.get());
    // Half of the gray over black.
    const QColor gray = Styles::busyOverlayColor();
    EXPECT_TRUE(Rendering::near(image.pixel(5, 5), QColor(gray.red() / 2, gray.green() / 2, gray.blue() / 2), 2));
    EXPECT_EQ(container->childAt(150, 100) == LoadingView::over(container.get()) ||
                  LoadingView::over(container.get())->isAncestorOf(container->childAt(150, 100)),
              true);
}

TEST(LoadingView, CentresATurningSpinnerOfNaturalSize)
{
    std::unique_ptr<QWidget> container(Rendering::whiteWindow());
    container->resize(500, 400);
    LoadingModel model;
    LoadingView::attach(container.get(), &model);
    model.setIsLoading(true);
    Rendering::grab(container.get());

    ActivityIndicator* spinner = LoadingView::over(container.get())->activityIndicator();
    EXPECT_EQ(spinner->size(), QSize(32, 32));
    EXPECT_EQ(spinner->geometry().center(), container->rect().center());
    EXPECT_TRUE(spinner->isAnimating());

    QSignalSpy turned(spinner, &ActivityIndicator::phaseChanged);
    const int before = spinner->phase();
    ASSERT_TRUE(turned.wait(2000));
    EXPECT_NE(spinner->phase(), before);

    // Drawn in the primary colour: the darkest spinner pixel is much darker than the ground.
    const QImage image = Rendering::grab(container.get());
    const int darkest = [&] {
        int value = 255;
        const QRect area = spinner->geometry();
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                value = std::min(value, qGray(image.pixel(x, y)));
        return value;
    }();
    EXPECT_LT(darkest, qGray(grayOverWhite().rgb()) - 60);
}

TEST(LoadingModel, StartsIdleAndSignalsChangesOnly)
{
    LoadingModel model;
    EXPECT_FALSE(model.isLoading());
    QSignalSpy changed(&model, &LoadingModel::isLoadingChanged);
    model.setIsLoading(false);
    model.setIsLoading(true);
    model.setIsLoading(true);
    model.setIsLoading(false);
    ASSERT_EQ(changed.size(), 2);
    EXPECT_EQ(changed.at(0).at(0).toBool(), true);
    EXPECT_EQ(changed.at(1).at(0).toBool(), false);
}
