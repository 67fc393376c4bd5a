#include "core/SessionObservableObject.h"
#include "ui/Fonts.h"
#include "ui/pages/BlockHistoryView.h"

#include <QApplication>
#include <QImage>

#include <benchmark/benchmark.h>

namespace {

using BlockedUrl = SessionObservableObject::BlockedUrl;

BlockedUrl entry(int i)
{
    return BlockedUrl(QDateTime::currentDateTime(), QStringLiteral("https://site%1.example/some/path?q=%1").arg(i),
                      QStringLiteral("Category %1").arg(i % 7), QString());
}

QList<BlockedUrl> fullList()
{
    QList<BlockedUrl> list;
    for (int i = 0; i < 50; ++i)
        list.append(entry(i));
    return list;
}

// The steady state of a busy filter: the list is full and each new event drops the
// oldest. Measures the page taking the new list, laying out and retiring the old row.
void BM_BlockHistoryNewEventAtFifty(benchmark::State& state)
{
    SessionObservableObject session;
    session.setBlockedUrls(fullList());
    BlockHistoryView page(&session);
    page.resize(750, 670);
    page.show();
    QApplication::processEvents();
    QList<BlockedUrl> list = session.blockedUrls();
    int next = 50;
    for (auto _ : state) {
        list.removeFirst();
        list.append(entry(next++));
        session.setBlockedUrls(list);
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    state.SetItemsProcessed(state.iterations());
}

// Drawing the whole page with fifty rows (the visible ones paint).
void BM_BlockHistoryPaintFifty(benchmark::State& state)
{
    SessionObservableObject session;
    session.setBlockedUrls(fullList());
    BlockHistoryView page(&session);
    page.resize(750, 670);
    page.show();
    QApplication::processEvents();
    QImage image(page.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::white);
        page.render(&image);
    }
}

} // namespace

BENCHMARK(BM_BlockHistoryNewEventAtFifty)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BlockHistoryPaintFifty)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Fonts::install();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
