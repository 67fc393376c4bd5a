#include "core/LoadingModel.h"
#include "core/SessionObservableObject.h"
#include "ui/Fonts.h"
#include "ui/pages/MyBlockedSitesView.h"
#include "ui/pages/RelaxedPolicyView.h"
#include "ui/pages/TimeRestrictionsView.h"

#include <QApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

TimeRestrictionModel restricted(bool enabled, const QStringList& enabledThrough)
{
    TimeRestrictionModel model;
    model.RestrictionsEnabled = enabled;
    model.EnabledThrough = enabledThrough;
    const auto intervals = TimeRestrictionModel::intervalsFrom(enabledThrough);
    model.intervals = intervals ? intervals.value() : QList<Interval>();
    return model;
}

// What the demo account holds: a week of restrictions, a short blocklist, the counters.
void fill(SessionObservableObject& session)
{
    QStringList sites;
    for (int i = 0; i < 25; ++i)
        sites.append(QStringLiteral("site%1.example.org").arg(i));
    session.setMyBlockedSites(sites);
    TimeRestrictionMap week;
    for (const char* name : {"monday", "tuesday", "thursday", "friday"})
        week.insert(QString::fromLatin1(name), restricted(true, {"7.00", "21.30"}));
    week.insert(QStringLiteral("wednesday"), restricted(true, {"7.00", "12.00", "13.30", "21.00"}));
    week.insert(QStringLiteral("saturday"), restricted(false, {"8.00", "23.00"}));
    session.setTimeRestrictions(week);
    session.setBypassesPermitted(3);
    session.setBypassDuration(30);
}

// A page made, laid out at the detail column's size and painted once: what the user waits
// for when choosing its sidebar entry.
template <typename Make> void firstPaint(benchmark::State& state, Make make)
{
    SessionObservableObject session;
    LoadingModel loading;
    fill(session);
    QImage image(750, 670, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        std::unique_ptr<QWidget> page(make(session, loading));
        page->resize(image.size());
        page->show();
        image.fill(Qt::white);
        page->render(&image);
        benchmark::DoNotOptimize(image.bits());
        page.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

void BM_MyBlockedSitesFirstPaint(benchmark::State& state)
{
    firstPaint(state, [](SessionObservableObject& session, LoadingModel& loading) -> QWidget* {
        return new MyBlockedSitesView(&loading, &session);
    });
}

void BM_TimeRestrictionsFirstPaint(benchmark::State& state)
{
    firstPaint(state, [](SessionObservableObject& session, LoadingModel&) -> QWidget* {
        return new TimeRestrictionsView(&session);
    });
}

void BM_RelaxedPolicyFirstPaint(benchmark::State& state)
{
    firstPaint(state, [](SessionObservableObject& session, LoadingModel&) -> QWidget* {
        return new RelaxedPolicyView(&session);
    });
}

} // namespace

BENCHMARK(BM_MyBlockedSitesFirstPaint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimeRestrictionsFirstPaint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RelaxedPolicyFirstPaint)->Unit(benchmark::kMillisecond);

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
