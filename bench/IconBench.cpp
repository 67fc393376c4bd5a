#include "ui/icons/FAText.h"
#include "ui/icons/IconFont.h"
#include "ui/icons/IconList.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

namespace {

// What the first icon of a window costs once: reading the compiled-in name list.
void BM_IconListParse(benchmark::State& state)
{
    IconFont::registerResources();
    QFile file(QStringLiteral(":/fontawesome/icons.json"));
    if (!file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("the icon list is missing from the resources");
        return;
    }
    const QByteArray json = file.readAll();
    for (auto _ : state)
        benchmark::DoNotOptimize(IconList::fromJson(json).count());
}

// ...and adding the icon font to the application's fonts.
void BM_IconFontAdd(benchmark::State& state)
{
    for (auto _ : state) {
        const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/fontawesome/fa-solid-900.ttf"));
        benchmark::DoNotOptimize(id);
        QFontDatabase::removeApplicationFont(id);
    }
}

void BM_IconLookup(benchmark::State& state)
{
    const IconList& list = IconList::shared();
    const QString name = QStringLiteral("question-circle");
    for (auto _ : state)
        benchmark::DoNotOptimize(list.codePoint(name));
}

void BM_FATextPixmap(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(FAText::pixmap(QStringLiteral("history"), 12, Qt::white).cacheKey());
}

void BM_FATextPaint(benchmark::State& state)
{
    FAText text(QStringLiteral("check-circle"), 16);
    text.resize(text.sizeHint());
    QImage image(text.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::transparent);
        text.render(&image);
    }
}

} // namespace

BENCHMARK(BM_IconListParse)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IconFontAdd)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IconLookup);
BENCHMARK(BM_FATextPixmap)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FATextPaint)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
