// A month of 1 s samples of 10 channels (2,592,000 lines, about 170 MB) in the
// data viewer: today's table-only read of the file, then the viewer's open with
// table and chart, its peak memory against the file, and the chart's replot at
// zoom levels from the whole month down to one minute. One sample carries a
// spike; the whole-month trace must still hold it.
//   kelo_review_chart_bench [lines] [channels] [window width]
#include "BenchDialogs.h"
#include "BenchFiles.h"
#include "review/DataViewP.h"
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
#include <QHeaderView>
#include <QTableView>
#include <QTemporaryDir>
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

    // Today's table-only open, as the viewer did it before the chart: the rows
    // read into the grid's model a block per turn of the event loop, the grid
    // shown and repainted between blocks.
    {
        QStringList captions;
        for (int c = 1; c <= channels; ++c)
            captions << QStringLiteral("CH%1").arg(c);
        SampleModel model;
        QTableView grid;
        grid.resize(1000, 600);
        grid.setModel(&model);
        grid.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        grid.show();
        app.processEvents();
        const qint64 before = residentBytes("VmRSS:");
        resetPeakResident();
        QElapsedTimer clock;
        clock.start();
        const double cpu0 = processSeconds();
        model.setChannels(captions, Regional::plain());
        RecordReader reader(dialogs.openName, model.table().fieldColumns());
        while (!reader.atEnd()) {
            model.append(reader.readBlock());
            app.processEvents();
        }
        grid.repaint();
        std::printf("table only (as before):  shown in %5lld ms (%4.0f ms CPU), peak growth %.1f MB (%.2f x file)\n",
                    (long long)clock.elapsed(), (processSeconds() - cpu0) * 1000,
                    (residentBytes("VmHWM:") - before) / 1e6, double(residentBytes("VmHWM:") - before) / fileSize);
        // The rows alone, without a window.
        clock.restart();
        const double cpu1 = processSeconds();
        SampleTable table;
        table.setChannels(captions, Regional::plain());
        readAllSamples(dialogs.openName, table);
        std::printf("rows alone, no window:   read in  %5lld ms (%4.0f ms CPU)\n", (long long)clock.elapsed(),
                    (processSeconds() - cpu1) * 1000);
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
    while (view.busy()) // the window's own slices, as the event loop runs them
        app.processEvents();
    RecordChart* chart = view.chart();
    chart->replotNow();
    view.repaint();
    const qint64 opened = clock.elapsed();
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
        }
        const double w = *std::max_element(times.begin(), times.end());
        worst = std::max(worst, w);
        std::printf("  %-7s %6.2f / %6.2f\n", name, median(times), w);
    }
    std::printf("worst replot %.2f ms\n", worst);
    return 0;
}
