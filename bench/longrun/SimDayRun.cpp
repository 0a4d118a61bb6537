// A simulated day of monitoring, quickly: ten channels, the window's poll
// tick and sampling tick called directly at the rates of a real run (poll
// cycle 50 ms, sampling 1 s) on a fake clock, the simulator answering each
// request over a pseudo-terminal and the window handling the reply before
// the next tick. Prints the heap (mallinfo2, all arenas), the resident set
// and what every store the run touches holds, every simulated hour. The
// chart's point stores are squeezed before each measurement so the chart
// costs exactly 16 bytes per point and the rest of the heap shows alone.
//
// Usage: kelo_longrun_simday [hours=24] [poll ms=50] [log] [faults] [minutes]
//   log: the traffic log is shown (test controls on) for the whole run;
//   faults: address 10 never answers (zeroed every third request), every
//   7th reply is a refusal, every 5th comes after noise and a broken-off
//   frame start, every 13th in three pieces;
//   minutes: also measure at simulated minutes 1, 5, 15 and 30 of hour 1.
#include "LongrunWindow.h"
#include "widgets/Fonts.h"
#include "widgets/Resources.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QToolButton>
#include <qcustomplot.h>

namespace {

constexpr double kBytesPerPoint = sizeof(QCPGraphData); // key and value, 16 bytes

void squeezeChart(TrendChart& chart)
{
    for (int i = 0; i < chart.plot()->graphCount(); ++i)
        chart.plot()->graph(i)->data()->squeeze(true, true);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installFontSubstitutions();
    initKeloResources();
    const int hours = argc > 1 ? std::atoi(argv[1]) : 24;
    const int pollMs = argc > 2 ? std::atoi(argv[2]) : 50;
    bool showLog = false, minuteMarks = false, faults = false;
    for (int i = 3; i < argc; ++i) {
        showLog |= std::strcmp(argv[i], "log") == 0;
        faults |= std::strcmp(argv[i], "faults") == 0;
        minuteMarks |= std::strcmp(argv[i], "minutes") == 0;
    }
    if (hours <= 0 || pollMs <= 0) {
        std::fprintf(stderr, "usage: kelo_longrun_simday [hours] [poll ms] [log]\n");
        return 2;
    }

    // One clock for the window and the simulated furnaces.
    qint64 simulatedMs = 0;
    const QDateTime origin(QDate(2024, 1, 5), QTime(0, 0));
    SimServer::Options options = longrunSimOptions();
    options.clock = [&] { return simulatedMs; };
    if (faults) {
        options.faults.silent = {10};
        options.faults.refuseEvery = 7;
        options.faults.garbageEvery = 5;
        options.faults.splitEvery = 13;
        options.faults.splitGapMs = 0;
    }
    SimServer sim(options);
    QString error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        return 1;
    }
    LongrunProgramDir dir(sim.port().devicePath(), pollMs, 115200);
    if (showLog) {
        QFile ini(MainIniPath());
        ini.open(QIODevice::Append);
        ini.write("[Temp]\r\nValue=73\r\n");
    }
    AppContext context{dir.dialogs, [&] { return origin.addMSecs(simulatedMs); }, Regional::plain()};
    auto window = startMonitoring(context);
    if (showLog)
        window->spbViewClick();
    // The handlers are called by hand; the real timers must not add ticks.
    auto* poll = window->findChild<IntervalTimer*>("Timer1");
    auto* sampling = window->findChild<IntervalTimer*>("tmSampling");
    poll->blockSignals(true);
    sampling->blockSignals(true);
    const int samplingMs = sampling->interval();

    auto* chart = window->findChild<TrendChart*>("iPlot1");
    auto* memo = window->findChild<QPlainTextEdit*>("Memo1");
    auto* values = window->findChild<QTableWidget*>("acGrd2");
    auto* channels = window->findChild<QTableWidget*>("acGrd1");
    const ReplyAssembler& assembler = programAssembler(ReceivingWindow::Monitoring);
    long long notifications = 0, noReply = 0;
    QObject::connect(window->findChild<TComPort*>("ComPort1"), &TComPort::OnRxChar, [&] { ++notifications; });

    // Each request's answer (or its absence) is handled before the next tick:
    // the simulator reports what it made of the request, and a reply is
    // handled once the window's assembler holds it as its last frame.
    long long exchanges = 0;
    QByteArray lastReply;
    QObject::connect(&sim, &SimServer::exchanged, [&](const QByteArray&, const QByteArray& reply) {
        ++exchanges;
        lastReply = reply;
    });
    const auto pollOnce = [&] {
        const auto before = exchanges;
        window->Timer1Timer();
        for (int spins = 0; spins < 100000; ++spins) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (exchanges == before)
                continue;
            if (lastReply.isEmpty())
                return; // a silent address
            if (assembler.RxState() == ReplyAssembler::Idle && assembler.RxBuf() == lastReply)
                return;
        }
        ++noReply;
    };

    std::printf("simulated day: %d h, poll %d ms, sampling %d ms, 10 channels, traffic log %s, line faults %s\n",
                hours, pollMs, samplingMs, showLog ? "shown" : "hidden", faults ? "on" : "off");
    std::printf("hour  heap_KiB  rss_KiB  chart_pts  chart_KiB  heap-chart_KiB  log_lines  value_rows  "
                "asm_buf  record_KiB  wall_s\n");
    QElapsedTimer wall;
    wall.start();
    std::size_t restAtStart = 0, restAfterHour1 = 0;
    qint64 pointsAfterHour1 = 0;
    // hour < 0: at minute -hour of hour 1.
    const auto report = [&](int hour) {
        squeezeChart(*chart);
        const std::size_t heap = heapBytes();
        const qint64 points = chartPoints(*window);
        const std::size_t chartBytes = std::size_t(double(points) * kBytesPerPoint);
        const std::size_t rest = heap - chartBytes;
        if (hour == 0)
            restAtStart = rest;
        if (hour == 1) {
            restAfterHour1 = rest;
            pointsAfterHour1 = points;
        }
        std::printf(hour < 0 ? "%3dm  %8zu  %7zu  %9lld  %9zu  %14zu  %9d  %10d  %7lld  %10lld  %6.1f\n"
                             : "%4d  %8zu  %7zu  %9lld  %9zu  %14zu  %9d  %10d  %7lld  %10lld  %6.1f\n",
                    hour < 0 ? -hour : hour, heap / 1024,
                    residentBytes() / 1024, static_cast<long long>(points), chartBytes / 1024, rest / 1024,
                    memo->document()->blockCount(), values->rowCount() * values->columnCount()
                        + channels->rowCount() * channels->columnCount(),
                    static_cast<long long>(assembler.RxBuf().size()),
                    static_cast<long long>(QFile(window->RecordPath()).size() / 1024), wall.elapsed() / 1000.0);
        std::fflush(stdout);
    };

    report(0);
    const qint64 hourMs = 3600 * 1000;
    qint64 nextSample = samplingMs;
    for (int h = 1; h <= hours; ++h) {
        const qint64 end = qint64(h) * hourMs;
        while (simulatedMs < end) {
            simulatedMs += pollMs;
            pollOnce();
            if (minuteMarks && h == 1)
                for (int m : {1, 5, 15, 30})
                    if (simulatedMs == qint64(m) * 60000)
                        report(-m);
            while (samplingMs > 0 && nextSample <= simulatedMs) {
                window->tmSamplingTimer();
                nextSample += samplingMs;
            }
        }
        report(h);
    }
    if (hours > 1) {
        squeezeChart(*chart);
        const double restNow = double(heapBytes()) - double(chartPoints(*window)) * kBytesPerPoint;
        std::printf("heap apart from the chart: hour 0 %.0f KiB, hour 1 %.0f KiB, hour %d %.0f KiB "
                    "(%+.0f bytes/hour after hour 1)\n",
                    restAtStart / 1024.0, restAfterHour1 / 1024.0, hours, restNow / 1024.0,
                    (restNow - double(restAfterHour1)) / (hours - 1));
        std::printf("chart: %.0f points/hour, %.0f KiB/hour at 16 bytes a point (kept for the whole run)\n",
                    double(chartPoints(*window) - pointsAfterHour1) / (hours - 1),
                    double(chartPoints(*window) - pointsAfterHour1) / (hours - 1) * kBytesPerPoint / 1024);
    }
    std::printf("assembler: %lld bytes dropped, %lld frames abandoned\n",
                static_cast<long long>(assembler.droppedBytes()), static_cast<long long>(assembler.abandonedFrames()));
    std::printf("reply notifications %lld, polls without a reply %lld, errors shown %d, peak RSS %zu KiB, "
                "wall %.1f s\n",
                notifications, noReply, dir.dialogs.errors, peakResidentBytes() / 1024, wall.elapsed() / 1000.0);
    return 0;
}
