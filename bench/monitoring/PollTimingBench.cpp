// The poll tick on its real timer: 1,000 ticks at 200 ms with the window
// shown (offscreen), the simulator answering every request and the chart
// drawing. Prints the mean interval between ticks and the 99th percentile of
// the deviation from 200 ms. Usage: kelo_monitoring_polltiming_bench [ticks]
#include "BenchWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <vector>

int main(int argc, char** argv)
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installFontSubstitutions();
    initKeloResources();
    const int ticks = argc > 1 ? std::atoi(argv[1]) : 1000;

    BenchWindow bench(false);
    bench.window->show();
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> at;
    at.reserve(std::size_t(ticks) + 1);
    QObject::connect(bench.timer("Timer1"), &IntervalTimer::timeout, [&] {
        at.push_back(clock.nsecsElapsed());
        if (int(at.size()) == ticks + 1) {
            bench.window->bbtStartClick(); // Stop
            QCoreApplication::exit(0);
        }
    });
    app.exec();

    std::vector<double> intervals, deviation;
    for (std::size_t i = 1; i < at.size(); ++i) {
        const double ms = double(at[i] - at[i - 1]) / 1e6;
        intervals.push_back(ms);
        deviation.push_back(std::abs(ms - 200.0));
    }
    double sum = 0;
    for (double v : intervals)
        sum += v;
    std::sort(deviation.begin(), deviation.end());
    const double p99 = deviation[std::size_t(std::ceil(0.99 * double(deviation.size()))) - 1];
    std::printf("ticks %zu, mean interval %.3f ms, 99th percentile deviation %.3f ms, max %.3f ms, "
                "replies handled %lld, errors shown %d\n",
                intervals.size(), sum / double(intervals.size()), p99, deviation.back(),
                bench.rxCount, bench.dialogs.errors);
    return 0;
}
