// kelosim: simulated temperature controllers on a pseudo-terminal or a device.
#include "settings/KeloError.h"
#include "settings/SignalPipe.h"
#include "sim/AddressList.h"
#include "sim/ProgramSetup.h"
#include "sim/SimServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

bool processGone(qint64 pid)
{
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return true;
    // A program that has ended but is not yet reaped counts as gone.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray s = stat.readAll();
    const qsizetype close = s.lastIndexOf(')');
    return close > 0 && s.mid(close + 2, 1) == "Z";
}

QString shown(const QByteArray& frame)
{
    QString out;
    for (char c : frame) {
        switch (c) {
        case '\x02': out += QStringLiteral("<STX>"); break;
        case '\r': out += QStringLiteral("<CR>"); break;
        case '\n': out += QStringLiteral("<LF>"); break;
        default:
            if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126)
                out += QStringLiteral("<%1>").arg(static_cast<unsigned char>(c), 2, 16, QLatin1Char('0'));
            else
                out += QLatin1Char(c);
        }
    }
    return out;
}

const char* kDescription =
    "Simulated temperature controllers answering WHO, DRS, DRR, DWS, DWR, DMS and DMC\n"
    "on a serial line, one register map per address. Process values (register 0001)\n"
    "heat towards set value 1 (0301); writing 0001..0004 to 0306 runs an auto-tuning\n"
    "that ends after --tuning-ms and then reads 0000.\n"
    "\n"
    "Opens a new pseudo-terminal (or --device) and prints, as its first line, the path\n"
    "a program opens. It serves until Ctrl+C, SIGTERM or SIGHUP, or until the process\n"
    "given by --parent-pid ends; it then closes the line and removes its --link.\n"
    "SIGUSR1 makes the port vanish; it comes back after --vanish-for or at the next SIGUSR1.\n"
    "\n"
    "Faults: counters run over the replies given; \"every N\" with N = 1 hits every reply.";

struct Numbers {
    QCommandLineParser& parser;
    bool ok = true;
    int get(const QCommandLineOption& o, int fallback)
    {
        if (!parser.isSet(o))
            return fallback;
        bool good = false;
        const int v = parser.value(o).toInt(&good);
        if (!good || v < 0) {
            std::fprintf(stderr, "kelosim: --%s wants a whole number of 0 or more\n",
                         qPrintable(o.names().first()));
            ok = false;
        }
        return v;
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelosim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.addHelpOption();
    const QCommandLineOption link(QStringLiteral("link"), QStringLiteral("Keep a symlink at <path> to the device the program opens."), QStringLiteral("path"));
    const QCommandLineOption device(QStringLiteral("device"), QStringLiteral("Serve this serial device instead of a new pseudo-terminal."), QStringLiteral("path"));
    const QCommandLineOption baud(QStringLiteral("baud"), QStringLiteral("Line speed of --device (default 9600)."), QStringLiteral("rate"));
    const QCommandLineOption addresses(QStringLiteral("addresses"), QStringLiteral("Station numbers that answer, e.g. 1-4,7 (default 1-31)."), QStringLiteral("list"), QStringLiteral("1-31"));
    const QCommandLineOption tuning(QStringLiteral("tuning-ms"), QStringLiteral("How long an auto-tuning run lasts (default 5000)."), QStringLiteral("ms"));
    const QCommandLineOption delay(QStringLiteral("delay"), QStringLiteral("Every reply waits <ms> before it goes out."), QStringLiteral("ms"));
    const QCommandLineOption silent(QStringLiteral("silent"), QStringLiteral("Addresses that never answer."), QStringLiteral("list"));
    const QCommandLineOption refuse(QStringLiteral("refuse-every"), QStringLiteral("Every <n>-th reply is a refusal (NG)."), QStringLiteral("n"));
    const QCommandLineOption garbage(QStringLiteral("garbage-every"), QStringLiteral("Noise and a broken-off frame go out before every <n>-th reply."), QStringLiteral("n"));
    const QCommandLineOption split(QStringLiteral("split-every"), QStringLiteral("Every <n>-th reply goes out in pieces."), QStringLiteral("n"));
    const QCommandLineOption pieces(QStringLiteral("split-pieces"), QStringLiteral("Number of pieces of a split reply (default 3)."), QStringLiteral("k"));
    const QCommandLineOption gap(QStringLiteral("split-gap"), QStringLiteral("Milliseconds between the pieces (default 40)."), QStringLiteral("ms"));
    const QCommandLineOption join(QStringLiteral("join-every"), QStringLiteral("Every <n>-th reply is held back and goes out with the next one."), QStringLiteral("n"));
    const QCommandLineOption late(QStringLiteral("late-every"), QStringLiteral("Every <n>-th reply goes out --late-by later than the others."), QStringLiteral("n"));
    const QCommandLineOption lateBy(QStringLiteral("late-by"), QStringLiteral("Milliseconds a late reply waits (default 300)."), QStringLiteral("ms"));
    const QCommandLineOption vanishEvery(QStringLiteral("vanish-every"), QStringLiteral("The port vanishes after <ms> of service ..."), QStringLiteral("ms"));
    const QCommandLineOption vanishFor(QStringLiteral("vanish-for"), QStringLiteral("... and comes back <ms> later at the same link (default 3000)."), QStringLiteral("ms"));
    const QCommandLineOption wireBaud(QStringLiteral("wire-baud"), QStringLiteral("Replies keep the pace of a real line at <rate> baud: each waits for the request's and its own bytes (10 bits a byte)."), QStringLiteral("rate"));
    const QCommandLineOption ramp(QStringLiteral("ramp"), QStringLiteral("Drive the process value of <addresses> from <from> to <to> at <per-second> register units a second, hold it <hold-ms>, and back, starting <after-ms> after start: 1-2:250:600:100:5000[:0]."), QStringLiteral("plan"));
    const QCommandLineOption parentPid(QStringLiteral("parent-pid"), QStringLiteral("Stop when the process <pid> ends."), QStringLiteral("pid"));
    const QCommandLineOption log(QStringLiteral("log"), QStringLiteral("Write every request and reply to standard error."));
    const QCommandLineOption setup(QStringLiteral("setup-dir"), QStringLiteral("Prepare the program directory <dir> for a run with the simulator (Main.ini when no port is configured, Monitor/sample.khd), print the link to serve (empty line: a real port is configured) and exit. The link is --link or <dir>/kelosim.tty."), QStringLiteral("dir"));
    parser.addOptions({link, device, baud, addresses, tuning, delay, silent, refuse, garbage, split,
                       pieces, gap, join, late, lateBy, vanishEvery, vanishFor, wireBaud, ramp, parentPid, log, setup});
    parser.process(app);

    if (parser.isSet(setup)) {
        const QString dir = parser.value(setup);
        const QString at = parser.isSet(link) ? parser.value(link)
                                              : QDir(dir).absoluteFilePath(QLatin1String(kSimLinkName));
        try {
            std::printf("%s\n", qPrintable(prepareProgramDir(dir, at)));
            return 0;
        } catch (const KeloError& e) {
            std::fprintf(stderr, "kelosim: %s\n", qPrintable(e.text()));
            return 1;
        }
    }

    SimServer::Options options;
    Numbers num{parser};
    options.port.device = parser.value(device);
    options.port.link = parser.value(link);
    options.port.baud = num.get(baud, 9600);
    options.tuningMs = num.get(tuning, int(SimController::kDefaultTuningMs));
    SimFaults& f = options.faults;
    f.replyDelayMs = num.get(delay, 0);
    f.refuseEvery = num.get(refuse, 0);
    f.garbageEvery = num.get(garbage, 0);
    f.splitEvery = num.get(split, 0);
    f.splitPieces = num.get(pieces, f.splitPieces);
    f.splitGapMs = num.get(gap, f.splitGapMs);
    f.joinEvery = num.get(join, 0);
    f.lateEvery = num.get(late, 0);
    f.lateByMs = num.get(lateBy, f.lateByMs);
    f.vanishEveryMs = num.get(vanishEvery, 0);
    f.vanishForMs = num.get(vanishFor, f.vanishForMs);
    f.wireBaud = num.get(wireBaud, 0);
    const int parent = num.get(parentPid, 0);
    const auto list = parseAddressList(parser.value(addresses));
    const auto quiet = parseAddressList(parser.value(silent));
    if (!list || !quiet) {
        std::fprintf(stderr, "kelosim: an address list is written like 1-4,7 with numbers 0 to 99\n");
        return 2;
    }
    if (!num.ok)
        return 2;
    options.addresses = *list;
    if (parser.isSet(ramp)) {
        const auto r = parseSimRamp(parser.value(ramp));
        if (!r) {
            std::fprintf(stderr, "kelosim: --ramp is written addresses:from:to:per-second:hold-ms[:after-ms], "
                                 "e.g. 1-2:250:600:100:5000\n");
            return 2;
        }
        f.ramp = *r;
    }
    f.silent = QSet<int>(quiet->begin(), quiet->end());

    SignalPipe unixSignals({SIGINT, SIGTERM, SIGHUP, SIGUSR1});
    if (parent > 0) {
        // Normally the parent is the shell that becomes the program (run.sh
        // execs it): the kernel tells us when it ends; the poll covers the rest.
        if (::getppid() == parent)
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (processGone(parent))
            return 0;
    }

    SimServer server(options);
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "kelosim: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(server.port().devicePath()));
    std::fflush(stdout);

    QTextStream err(stderr);
    const bool logging = parser.isSet(log);
    QObject::connect(&server, &SimServer::exchanged, [&](const QByteArray& rq, const QByteArray& rp) {
        if (!logging)
            return;
        err << "<= " << shown(rq) << "\n";
        err << "=> " << (rp.isEmpty() ? QStringLiteral("(no reply)") : shown(rp)) << Qt::endl;
    });
    QObject::connect(&server, &SimServer::problem, [&](const QString& text) { err << "kelosim: " << text << Qt::endl; });
    QObject::connect(&server, &SimServer::vanishedNow, [&] { err << "kelosim: port vanished" << Qt::endl; });
    QObject::connect(&server, &SimServer::reappeared, [&](const QString& path) {
        err << "kelosim: port back at " << path << Qt::endl;
    });

    QObject::connect(&unixSignals, &SignalPipe::caught, [&](int sig) {
        if (sig != SIGUSR1)
            app.quit();
        else if (server.vanished())
            server.reappear();
        else
            server.vanish();
    });
    QTimer watch;
    if (parent > 0) {
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (processGone(parent))
                app.quit();
        });
        watch.start(500);
    }

    const int rc = app.exec();
    server.stop();
    return rc;
}
