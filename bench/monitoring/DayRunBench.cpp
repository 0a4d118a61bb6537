// A simulated day of monitoring: 10 channels, a poll tick every 200 ms and a
// sampling tick every second on a fake clock, the simulator answering over a
// pseudo-terminal, the traffic log hidden. Prints the heap and resident set
// per simulated hour next to the chart's points, so growth beyond the chart
// shows. Usage: kelo_monitoring_dayrun_bench [hours, default 24]
#include "BenchWindow.h"
#include "widgets/TrendChart.h"

#include <QApplication>
#include <QElapsedTimer>
#include <malloc.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installFontSubstitutions();
    initKeloResources();
    const int hours = argc > 1 ? std::atoi(argv[1]) : 24;

    BenchWindow bench(true);
    bench.timer("Timer1")->blockSignals(true);
    bench.timer("tmSampling")->blockSignals(true);
    auto* chart = bench.window->findChild<TrendChart*>("iPlot1");
    const auto points = [chart] {
        qint64 n = 0;
        for (int t = 0; t < chart->traceCount(); ++t)
            n += chart->pointCount(t);
        return n;
    };

    std::printf("hour  heap_bytes  rss_bytes  chart_points  heap_minus_chart(32B/pt)\n");
    const std::size_t heap0 = heapBytes();
    const std::size_t rss0 = residentBytes();
    const qint64 points0 = points();
    QElapsedTimer wall;
    wall.start();
    std::size_t heapAfterFirstHour = 0;
    qint64 pointsAfterFirstHour = 0;
    for (int h = 1; h <= hours; ++h) {
        for (int s = 0; s < 3600; ++s) {
            for (int p = 0; p < 5; ++p) {
                bench.now = bench.now.addMSecs(200);
                bench.pollOnce();
            }
            bench.window->tmSamplingTimer();
        }
        const std::size_t heap = heapBytes();
        const qint64 pts = points() - points0;
        if (h == 1) {
            heapAfterFirstHour = heap;
            pointsAfterFirstHour = pts;
        }
        std::printf("%4d  %10zu  %9zu  %12lld  %12lld\n", h, heap - heap0, residentBytes() - rss0,
                    static_cast<long long>(pts),
                    static_cast<long long>(qint64(heap - heap0) - 32 * pts));
        std::fflush(stdout);
    }
    const std::size_t heap = heapBytes();
    const qint64 pts = points() - points0;
    if (hours > 1) {
        const double perHour = double(heap - heapAfterFirstHour) / (hours - 1);
        const double pointsPerHour = double(pts - pointsAfterFirstHour) / (hours - 1);
        std::printf("after hour 1: heap +%.0f bytes/hour, %.0f chart points/hour, %.1f bytes per point\n",
                    perHour, pointsPerHour, perHour / pointsPerHour);
    }
    QFile record(MonitorDir() + "/bench.kmr");
    std::printf("record file: %lld bytes; errors shown: %d; wall time %.1f s\n",
                static_cast<long long>(record.size()), bench.dialogs.errors, wall.elapsed() / 1000.0);
    return 0;
}
