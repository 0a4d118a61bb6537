// 1,000,000 points over 10 traces (a point every 2 s per trace, as 10
// channels polled every 200 ms give): the replot of the default 86.4 s view
// against the whole history, in the same run, on a fixed-size chart; the cost
// of adding a point; the heap bytes per point (printed when the chart is built).
#include "widgets/Fonts.h"
#include "widgets/TrendChart.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <qcustomplot.h>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

constexpr int kTraces = 10;
constexpr int kPointsPerTrace = 100'000;
constexpr double kStep = 2.0;       // seconds between two points of one trace
constexpr double kStagger = 0.2;    // the traces are polled one after another
const double kT0 = TrendChart::timeKey(QDateTime(QDate(2024, 1, 5), QTime(0, 0)));

// Heap in use, the large blocks malloc maps by themselves included.
std::size_t heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

double wave(int trace, int i)
{
    return 50 + 40 * std::sin(i * 0.01 + trace) + (i % 7);
}

void fill(TrendChart& chart)
{
    for (int i = 0; i < kPointsPerTrace; ++i)
        for (int t = 0; t < kTraces; ++t)
            chart.addPoint(t, kT0 + i * kStep + t * kStagger, wave(t, i));
}

struct Chart {
    std::unique_ptr<TrendChart> chart;
};

Chart& bigChart()
{
    static Chart c = [] {
        Chart made;
        made.chart = std::make_unique<TrendChart>(Regional::plain());
        made.chart->resize(1200, 600);
        made.chart->show();
        for (int t = 0; t < kTraces; ++t)
            made.chart->addTrace(QStringLiteral("CH%1").arg(t + 1), QColor::fromHsv(t * 36, 255, 255));
        const std::size_t before = heapInUse();
        fill(*made.chart);
        const std::size_t after = heapInUse();
        const double bytesPerPoint = double(after - before) / (double(kTraces) * kPointsPerTrace);
        std::fprintf(stderr, "heap %zu -> %zu bytes for %d points: %.2f bytes per point\n", before, after,
                     kTraces * kPointsPerTrace, bytesPerPoint);
        QCoreApplication::processEvents();
        return made;
    }();
    return c;
}

void BM_ReplotDefaultView(benchmark::State& state)
{
    Chart& c = bigChart();
    c.chart->goLive();
    for (auto _ : state)
        c.chart->replotNow();
    state.counters["points"] = double(kTraces) * kPointsPerTrace;
    state.counters["span_s"] = c.chart->timeRange().second - c.chart->timeRange().first;
}
BENCHMARK(BM_ReplotDefaultView)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ReplotWholeHistory(benchmark::State& state)
{
    Chart& c = bigChart();
    c.chart->fitAll();
    for (auto _ : state)
        c.chart->replotNow();
    state.counters["points"] = double(kTraces) * kPointsPerTrace;
    state.counters["span_s"] = c.chart->timeRange().second - c.chart->timeRange().first;
    c.chart->goLive();
}
BENCHMARK(BM_ReplotWholeHistory)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Appending live points, the axis following them, onto the full chart.
void BM_AddPoint(benchmark::State& state)
{
    Chart& c = bigChart();
    c.chart->goLive();
    double key = kT0 + kPointsPerTrace * kStep;
    int t = 0;
    for (auto _ : state) {
        c.chart->addPoint(t, key, 42.0);
        key += kStagger;
        t = (t + 1) % kTraces;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddPoint)->Unit(benchmark::kNanosecond)->Iterations(1'000'000);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    installFontSubstitutions();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
