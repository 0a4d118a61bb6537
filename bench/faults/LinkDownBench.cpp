// The monitoring window polling ten simulated controllers on its real timers
// (200 ms poll, 1 s sampling, window shown offscreen), then the device
// vanishes for a while and comes back. Prints, for the time up and the time
// down: CPU time per second of wall time (the simulator runs in this process
// too), event-loop wake-ups per second, receive notifications, requests the
// simulator answered, reopen attempts while down (opens of a FIFO put at the
// device's path, which each attempt opens and gives up on), error boxes, and
// how long the link took to come back.
// Usage: kelo_faults_linkdown_bench [seconds up] [seconds down]
#include "../monitoring/BenchWindow.h"

#include "link/ComPort.h"
#include "tests/faults/PathOpens.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Phase {
    double wall = 0;
    double cpu = 0;
    long wakeups = 0;
    long notifications = 0;
    long answered = 0;
};

struct Counters {
    long wakeups = 0;
    long notifications = 0;
    long answered = 0;
};

Phase runFor(int ms, Counters& c)
{
    const Counters before = c;
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    Phase p;
    p.wall = double(wall.nsecsElapsed()) / 1e9;
    p.cpu = cpuSeconds() - cpu0;
    p.wakeups = c.wakeups - before.wakeups;
    p.notifications = c.notifications - before.notifications;
    p.answered = c.answered - before.answered;
    return p;
}

void print(const char* name, const Phase& p)
{
    std::printf("%-6s %6.2f s wall  %7.2f ms CPU/s  %7.1f wake-ups/s  %5ld notifications  %5ld requests answered\n",
                name, p.wall, p.cpu * 1000 / p.wall, double(p.wakeups) / p.wall, p.notifications, p.answered);
}

} // namespace

int main(int argc, char** argv)
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installFontSubstitutions();
    initKeloResources();
    const int upSeconds = argc > 1 ? std::atoi(argv[1]) : 5;
    const int downSeconds = argc > 2 ? std::atoi(argv[2]) : 10;

    QTemporaryDir dir;
    SetProgramPath(dir.path());
    QDir().mkpath(MonitorDir());
    BenchDialogs dialogs;
    AppContext context{dialogs, systemClock(), Regional::plain()};

    SimServer::Options options;
    for (int a = 1; a <= 10; ++a)
        options.addresses << a;
    options.port.link = dir.filePath(QStringLiteral("ttyKELO"));
    options.faults.vanishForMs = 24 * 3600 * 1000; // brought back below
    SimServer sim(options);
    QString error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        return 1;
    }
    QFile ini(MainIniPath());
    ini.open(QIODevice::WriteOnly);
    ini.write("[ComPort1]\r\nPort=" + options.port.link.toUtf8() + "\r\nBaudRate=115200\r\n[Delay]\r\nTime=200\r\n");
    ini.close();
    writeChannelSetFile(MonitorDir() + "/bench.khd", tenChannels());
    dialogs.openName = MonitorDir() + "/bench.khd";
    dialogs.saveName = MonitorDir() + "/bench.kmr";

    Counters c;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, [&] { ++c.wakeups; });
    QObject::connect(&sim, &SimServer::exchanged, [&](const QByteArray&, const QByteArray& reply) {
        if (!reply.isEmpty())
            ++c.answered;
    });

    TMonitoringF window(context);
    auto* port = window.findChild<TComPort*>(QStringLiteral("ComPort1"));
    QObject::connect(port, &TComPort::OnRxChar, [&] { ++c.notifications; });
    int lost = 0;
    int resumed = 0;
    QObject::connect(port, &TComPort::linkLost, [&] { ++lost; });
    QObject::connect(port, &TComPort::linkResumed, [&] { ++resumed; });
    window.show();
    window.butOpenClick();
    window.bbtStartClick();

    const Phase up = runFor(upSeconds * 1000, c);
    sim.vanish();
    int reopens = 0;
    Phase down;
    {
        PathOpens attempts(options.port.link);
        down = runFor(downSeconds * 1000, c);
        reopens = attempts.take();
    }
    const int boxesWhileDown = dialogs.errors;
    sim.reappear();
    QElapsedTimer back;
    back.start();
    QEventLoop wait;
    QObject::connect(port, &TComPort::linkResumed, &wait, &QEventLoop::quit);
    QTimer::singleShot(5000, &wait, &QEventLoop::quit);
    if (resumed == 0)
        wait.exec();
    const double backMs = double(back.nsecsElapsed()) / 1e6;
    const Phase again = runFor(3000, c);
    window.bbtStartClick(); // Stop

    print("up", up);
    print("down", down);
    print("again", again);
    std::printf("reopen attempts while down: %d in %.2f s\n", reopens, down.wall);
    std::printf("link lost %d time(s), back %d time(s), %.0f ms after the device returned; "
                "%d error box(es) while down, %d in all\n",
                lost, resumed, backMs, boxesWhileDown, dialogs.errors);
    return resumed == 1 && again.notifications > 0 ? 0 : 1;
}
