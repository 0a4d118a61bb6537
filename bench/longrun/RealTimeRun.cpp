// The monitoring window on its real timers for hours: ten channels, the poll
// cycle of Main.ini (50 ms here), recording on, the window shown offscreen so
// the chart draws, the simulator answering on a pseudo-terminal from its own
// thread. Each poll tick is stamped with a steady clock when its timer event
// is dispatched (an application event filter; the window is not changed), and
// the program writes the distribution of the intervals between ticks, ticks
// expected against ticks seen, CPU time and the resident set to a result
// file: a partial one every few minutes, the final one at the end.
//
// Usage: kelo_longrun_realtime [seconds=7200] [result file=longrun-realtime.txt]
//                              [poll ms=50] [report every s=300]
#include "LongrunWindow.h"
#include "TickStats.h"
#include "widgets/Fonts.h"
#include "widgets/Resources.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSaveFile>
#include <QSysInfo>
#include <QThread>
#include <QTimer>
#include <unistd.h>

namespace {

// Remembers when the latest timer event started to be dispatched.
class TimerEventStamp : public QObject {
public:
    explicit TimerEventStamp(const QElapsedTimer& clock) : m_clock(clock) {}
    qint64 last = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Timer)
            last = m_clock.nsecsElapsed();
        return QObject::eventFilter(watched, event);
    }

private:
    const QElapsedTimer& m_clock;
};

struct Mark {
    double minutes;
    qint64 ticks, expected, replies, points;
    std::size_t rss, heap;
    double cpu;
};

} // namespace

int main(int argc, char** argv)
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installFontSubstitutions();
    initKeloResources();
    const qint64 seconds = argc > 1 ? std::atoll(argv[1]) : 7200;
    const QString outPath = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("longrun-realtime.txt");
    const int pollMs = argc > 3 ? std::atoi(argv[3]) : 50;
    const int reportEvery = argc > 4 ? std::atoi(argv[4]) : 300;
    if (seconds <= 0 || pollMs <= 0 || reportEvery <= 0) {
        std::fprintf(stderr, "usage: kelo_longrun_realtime [seconds] [result file] [poll ms] [report every s]\n");
        return 2;
    }

    // The simulator on its own thread, so its work does not sit in the
    // window's event loop (a real controller answers from elsewhere too).
    QThread simThread;
    simThread.setObjectName(QStringLiteral("simulator"));
    QObject simHome;
    simHome.moveToThread(&simThread);
    simThread.start();
    SimServer* sim = nullptr;
    QString simError;
    bool simStarted = false;
    QMetaObject::invokeMethod(
        &simHome,
        [&] {
            sim = new SimServer(longrunSimOptions());
            simStarted = sim->start(&simError);
        },
        Qt::BlockingQueuedConnection);
    if (!simStarted) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(simError));
        return 1;
    }

    LongrunProgramDir dir(sim->port().devicePath(), pollMs, 115200);
    AppContext context{dir.dialogs, systemClock(), Regional::plain()};

    QElapsedTimer steady;
    steady.start();
    TimerEventStamp stamp(steady);
    app.installEventFilter(&stamp);

    const double cpu0 = cpuSeconds(RUSAGE_SELF);
    const double cpuMain0 = cpuSeconds(RUSAGE_THREAD);
    auto window = startMonitoring(context);
    window->show();
    const qint64 startNs = steady.nsecsElapsed();
    const QDateTime startedAt = QDateTime::currentDateTimeUtc();

    auto* poll = window->findChild<IntervalTimer*>("Timer1");
    auto* sampling = window->findChild<IntervalTimer*>("tmSampling");
    const qint64 nominalNs = qint64(poll->interval()) * 1'000'000;
    if (poll->interval() != pollMs || !poll->isFiring()) {
        std::fprintf(stderr, "poll timer not running at %d ms (interval %d)\n", pollMs, poll->interval());
        return 1;
    }

    TickStats intervals, handler;
    qint64 ticks = 0, lastTickNs = 0, over15 = 0, over2 = 0, samplingTicks = 0, replies = 0;
    // Connected after the window's own handler, so this runs when the tick's
    // work is done: the dispatch stamp gives the tick's time, the difference
    // the handler's duration.
    QObject::connect(poll, &IntervalTimer::timeout, [&] {
        const qint64 at = stamp.last;
        handler.add(steady.nsecsElapsed() - at);
        if (ticks > 0) {
            const qint64 d = at - lastTickNs;
            intervals.add(d);
            over15 += d * 2 > nominalNs * 3;
            over2 += d > nominalNs * 2;
        }
        ++ticks;
        lastTickNs = at;
    });
    QObject::connect(sampling, &IntervalTimer::timeout, [&] { ++samplingTicks; });
    QObject::connect(window->findChild<TComPort*>("ComPort1"), &TComPort::OnRxChar, [&] { ++replies; });

    std::vector<Mark> marks;
    marks.reserve(std::size_t(seconds / reportEvery) + 4);
    const auto expectedTicks = [&](qint64 atNs) { return (atNs - startNs) / nominalNs; };
    const auto mark = [&] {
        const qint64 now = steady.nsecsElapsed();
        marks.push_back({double(now - startNs) / 60e9, ticks, expectedTicks(now), replies, chartPoints(*window),
                         residentBytes(), heapBytes(), cpuSeconds(RUSAGE_SELF) - cpu0});
    };
    mark();

    const auto write = [&](bool final) {
        const qint64 now = steady.nsecsElapsed();
        const double elapsed = double(now - startNs) / 1e9;
        const qint64 expected = expectedTicks(final ? lastTickNs : now);
        QString t;
        t += QStringLiteral("kelo_longrun_realtime: %1\n").arg(final ? "FINAL" : "PARTIAL (run still going)");
        t += QStringLiteral("started %1 UTC, written %2 UTC, host %3, %4 cores, nice %5\n")
                 .arg(startedAt.toString(Qt::ISODate), QDateTime::currentDateTimeUtc().toString(Qt::ISODate),
                      QSysInfo::machineHostName())
                 .arg(QThread::idealThreadCount())
                 .arg(nice(0));
        t += QStringLiteral("planned %1 s, elapsed %2 s; poll %3 ms, 10 channels, sampling %4 ms, recording on, "
                            "window shown (offscreen)\n\n")
                 .arg(seconds)
                 .arg(elapsed, 0, 'f', 1)
                 .arg(pollMs)
                 .arg(sampling->interval());
        t += QStringLiteral("poll tick intervals: %1\n").arg(intervals.summary());
        t += QStringLiteral("intervals > 1.5x nominal (%1 ms): %2;  > 2x nominal (%3 ms): %4\n")
                 .arg(pollMs * 1.5)
                 .arg(over15)
                 .arg(pollMs * 2)
                 .arg(over2);
        t += QStringLiteral("ticks seen %1, ticks expected %2 (elapsed / poll), missing %3\n")
                 .arg(ticks)
                 .arg(expected)
                 .arg(expected - ticks);
        t += QStringLiteral("poll handler duration: %1\n").arg(handler.summary());
        t += QStringLiteral("sampling ticks seen %1, expected %2; reply notifications %3; errors shown %4\n")
                 .arg(samplingTicks)
                 .arg(qint64(elapsed * 1000) / sampling->interval())
                 .arg(replies)
                 .arg(dir.dialogs.errors);
        t += QStringLiteral("record file %1 bytes; chart points %2\n")
                 .arg(QFile(window->RecordPath()).size())
                 .arg(chartPoints(*window));
        const double cpu = cpuSeconds(RUSAGE_SELF) - cpu0;
        t += QStringLiteral("CPU: process %1 s (%2 % of one core), GUI thread %3 s\n")
                 .arg(cpu, 0, 'f', 2)
                 .arg(elapsed > 0 ? 100 * cpu / elapsed : 0, 0, 'f', 2)
                 .arg(cpuSeconds(RUSAGE_THREAD) - cpuMain0, 0, 'f', 2);
        t += QStringLiteral("RSS now %1 KiB, peak %2 KiB; heap in use %3 KiB\n\n")
                 .arg(residentBytes() / 1024)
                 .arg(peakResidentBytes() / 1024)
                 .arg(heapBytes() / 1024);
        t += QStringLiteral("   minute    ticks  expected   replies  chart_pts  rss_KiB  heap_KiB  cpu_s\n");
        for (const Mark& m : marks)
            t += QString::asprintf("%9.1f %8lld %9lld %9lld %10lld %8zu %9zu %6.1f\n", m.minutes,
                                   static_cast<long long>(m.ticks), static_cast<long long>(m.expected),
                                   static_cast<long long>(m.replies), static_cast<long long>(m.points),
                                   m.rss / 1024, m.heap / 1024, m.cpu);
        t += QStringLiteral("(ms columns are 10 us bins; min, max and mean are exact)\n");
        QSaveFile out(outPath);
        if (!out.open(QIODevice::WriteOnly) || out.write(t.toUtf8()) < 0 || !out.commit())
            std::fprintf(stderr, "cannot write %s\n", qPrintable(outPath));
        std::fprintf(stdout, "%s\n", qPrintable(t.section(QLatin1Char('\n'), 4, 6)));
        std::fflush(stdout);
    };

    QTimer report;
    report.setTimerType(Qt::CoarseTimer);
    QObject::connect(&report, &QTimer::timeout, [&] {
        mark();
        write(false);
    });
    report.start(reportEvery * 1000);
    QTimer::singleShot(std::chrono::seconds(seconds), Qt::PreciseTimer, &app, [&] {
        window->bbtStartClick(); // Stop
        report.stop();
        mark();
        write(true);
        QCoreApplication::exit(0);
    });
    app.exec();

    app.removeEventFilter(&stamp);
    window.reset();
    QMetaObject::invokeMethod(&simHome, [&] { delete sim; }, Qt::BlockingQueuedConnection);
    simThread.quit();
    simThread.wait();
    return 0;
}
