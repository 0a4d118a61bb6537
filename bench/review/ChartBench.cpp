// A month of 1 s samples of 10 channels (2,592,000 lines, about 175 MB) in the
// data viewer: the reader alone, then the viewer's open with table and chart,
// its peak memory against the file, the chart's replot at zoom levels from the
// whole month down to one minute, and the CSV of the whole record with the
// longest pause of the window meanwhile. One sample carries a spike; the
// whole-month trace must still hold it.
//   kelo_review_chart_bench [lines] [channels] [window width]
#include "BenchDialogs.h"
#include "BenchFiles.h"
#include "review/DataViewP.h"
#include "review/RecordCsv.h"
#include "review/RecordChart.h"
#include "review/RecordReader.h"
#include "review/SampleModel.h"
#include "settings/FuncP.h"
#include "widgets/AppContext.h"
#include "widgets/Fonts.h"
#include "widgets/Resources.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <qcustomplot.h>

namespace {


double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installFontSubstitutions();
    initKeloResources();
    const qint64 lines = argc > 1 ? QByteArray(argv[1]).toLongLong() : 2592000;
    const int channels = argc > 2 ? QByteArray(argv[2]).toInt() : 10;
    const int width = argc > 3 ? QByteArray(argv[3]).toInt() : 1280;

    QTemporaryDir dir;
    BenchDialogs dialogs;
    dialogs.openName = prepareBenchFolder(dir.path(), channels, QStringLiteral("bench.kmr"));
    if (dialogs.openName.isEmpty())
        return 1;
    const qint64 fileSize = writeMonthRecord(dialogs.openName, lines, channels);
    std::printf("record file: %lld lines x %d channels, %.1f MB\n", (long long)lines, channels, fileSize / 1e6);

    // The reader alone, without a window: rows only, then rows and numbers.
    {
        const double cpu0 = processSeconds();
        QElapsedTimer clock;
        clock.start();
        SampleTable table;
        QStringList captions;
        for (int c = 1; c <= channels; ++c)
            captions << QStringLiteral("CH%1").arg(c);
        table.setChannels(captions, Regional::plain());
        readAllSamples(dialogs.openName, table);
        std::printf("rows alone, no window:   read in  %5lld ms (%4.0f ms CPU)\n", (long long)clock.elapsed(),
                    (processSeconds() - cpu0) * 1000);
    }
    {
        const double cpu0 = processSeconds();
        QElapsedTimer clock;
        clock.start();
        RecordReader reader(dialogs.openName, channels, 1.0, Regional::plain());
        reader.run();
        const RecordSeries series = reader.takeSeries();
        std::printf("rows and numbers:        read in  %5lld ms (%4.0f ms CPU), %lld rows\n", (long long)clock.elapsed(),
                    (processSeconds() - cpu0) * 1000, (long long)series.rows());
    }

    AppContext context{dialogs, systemClock(), Regional::plain()};
    TDataViewF view(context);
    view.resize(width, 900);
    view.show();
    app.processEvents();
    view.repaint();
    const qint64 before = residentBytes("VmRSS:");
    resetPeakResident();
    const double cpu0 = processSeconds();
    QElapsedTimer clock;
    clock.start();
    view.bbtOpenClick();
    while (view.busy()) // the event loop waits, as in the window, while the reader's threads work
        app.processEvents(QEventLoop::WaitForMoreEvents);
    RecordChart* chart = view.chart();
    chart->replotNow();
    view.repaint();
    const qint64 painted = clock.elapsed();
    // What the window still has queued (delayed layouts of the table) runs before it answers the operator.
    for (int k = 0; k < 3; ++k)
        app.processEvents();
    const qint64 opened = clock.elapsed();
    std::printf("viewer: painted at %lld ms, queued work done at %lld ms\n", (long long)painted, (long long)opened);
    const double openedCpu = processSeconds() - cpu0;
    const qint64 peak = residentBytes("VmHWM:") - before;
    std::printf("viewer, table and chart: shown in %5lld ms (%4.0f ms CPU), peak growth %.1f MB (%.2f x file)\n",
                (long long)opened, openedCpu * 1000, peak / 1e6, double(peak) / fileSize);
    std::printf("                         row store %.1f MB, chart series %.1f MB\n", view.model().table().memoryBytes() / 1e6,
                view.series().memoryBytes() / 1e6);

    // Whole month: the spike is among the drawn points.
    const std::vector<ChartPoint> drawn = chart->drawnPoints(2);
    const bool spike = std::any_of(drawn.begin(), drawn.end(), [](const ChartPoint& p) { return p.value == kMonthSpike; });
    std::printf("whole month: %zu points drawn for channel 3 at %d pixels; spike %s\n", drawn.size(),
                chart->plot()->axisRect()->width(), spike ? "drawn" : "LOST");

    const auto [first, last] = std::pair(view.series().key(0), view.series().key(view.series().rows() - 1));
    const double middle = (first + last) / 2;
    std::printf("replot (ms, median / worst of 20, each one at a new range):\n");
    double worst = 0;
    for (const auto& [name, span] : std::vector<std::pair<const char*, double>>{
             {"month", last - first}, {"week", 7 * 86400.0}, {"day", 86400.0}, {"hour", 3600.0},
             {"10 min", 600.0}, {"1 min", 60.0}}) {
        std::vector<double> times;
        for (int k = 0; k < 20; ++k) {
            const double from = std::clamp(middle - span / 2 + (k - 10) * span / 50, first, last - span + 1);
            chart->setTimeRange(from, from + span);
            QElapsedTimer t;
            t.start();
            chart->replotNow();
            times.push_back(double(t.nsecsElapsed()) / 1e6);
            // The replot the range change queued still waits in the event
            // loop (an immediate replot does not take its place); run it
            // here, or a hundred of them pile up behind the measurements.
            app.processEvents();
        }
        const double w = *std::max_element(times.begin(), times.end());
        worst = std::max(worst, w);
        std::printf("  %-7s %6.2f / %6.2f\n", name, median(times), w);
    }
    std::printf("worst replot %.2f ms\n", worst);

    // CSV(전체) of the whole record on its own thread, while the window's
    // event loop runs: the longest the loop went without a turn.
    chart->fitAll();
    {
        QElapsedTimer t;
        t.start();
        chart->replotNow();
        const qint64 replotted = t.elapsed();
        view.repaint();
        std::printf("month after fit: replot %lld ms, window repaint %lld ms\n", (long long)replotted,
                    (long long)(t.elapsed() - replotted));
    }
    {
        // The window's own pause with nothing exported, for comparison.
        QElapsedTimer t;
        t.start();
        QTimer beat;
        qint64 last = 0, longest = 0;
        QObject::connect(&beat, &QTimer::timeout, [&] {
            longest = std::max(longest, t.elapsed() - last);
            last = t.elapsed();
            view.update();
        });
        beat.start(20);
        while (t.elapsed() < 1500) {
            const qint64 a = t.elapsed();
            app.processEvents(QEventLoop::WaitForMoreEvents);
            if (t.elapsed() - a > 50)
                std::printf("  slow turn %lld ms at %lld\n", (long long)(t.elapsed() - a), (long long)a);
        }
        std::printf("window alone: longest pause %lld ms\n", (long long)longest);
    }
    const QString csv = QDir(MonitorDir()).filePath(QStringLiteral("all.csv"));
    {
        const double cpu1 = processSeconds();
        QElapsedTimer t;
        t.start();
        CsvExport csvExport(view.model().table(), csv, CsvRows{0, view.model().table().sampleCount(), {}, true},
                            Regional::plain());
        csvExport.start({});
        QTimer beat;
        qint64 last = t.elapsed(), longest = 0, longestAt = 0;
        QObject::connect(&beat, &QTimer::timeout, [&] {
            if (t.elapsed() - last > longest) {
                longest = t.elapsed() - last;
                longestAt = last;
            }
            last = t.elapsed();
            view.update(); // as the progress bar asks for a repaint
        });
        beat.start(20);
        while (!csvExport.finished())
            app.processEvents(QEventLoop::WaitForMoreEvents);
        csvExport.wait();
        std::printf("CSV of the whole record: %5lld ms (%4.0f ms CPU), %.1f MB; longest pause of the window %lld ms (from %lld ms)\n",
                    (long long)t.elapsed(), (processSeconds() - cpu1) * 1000, QFileInfo(csv).size() / 1e6,
                    (long long)longest, (long long)longestAt);
        QFile::remove(csv);
    }
    return 0;
}
