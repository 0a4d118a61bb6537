// Refresh time of a 10-channel set with kelorec's two paces, against the
// simulator keeping a 9600-baud line's pace on a pseudo-terminal.
//   kelo_recorder_pace_bench [seconds per run, default 10]
// A 16-byte request and a 16-byte reply take 32 x 10 bits / 9600 = 33.3 ms,
// so the wire allows one refresh of ten channels every 333 ms.
#include "monitoring/MonitoringEngine.h"
#include "recorder/Recorder.h"
#include "sim/SimServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

struct Run {
    const char* name;
    RecorderOptions::Pace pace;
    int delayMs;
};

double refreshMs(const Run& run, int seconds, const QString& link, const QString& dir)
{
    RecorderOptions o;
    o.setPath = QDir(dir).filePath("ten.khd");
    o.programDir = dir;
    o.port = link;
    o.delayMs = run.delayMs;
    o.pace = run.pace;
    o.outDir = QDir(dir).filePath(QString::fromLatin1(run.name));
    Recorder r(o, systemClock(), Regional::plain(), [](const QString&) {});
    if (!r.prepare().isEmpty())
        return -1;
    r.start();
    qint64 answers = 0;
    QObject::connect(&r.engine(), &MonitoringEngine::exchangeEnded, [&](int, MonitoringEngine::Outcome o, qint64) {
        answers += o == MonitoringEngine::Outcome::Ok;
    });
    QElapsedTimer t;
    t.start();
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    const double ms = double(t.elapsed());
    (void)r.finish();
    return answers > 0 ? ms / (double(answers) / 10.0) : -1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    QTemporaryDir dir;
    QByteArray set = "Ten;1000\r\n";
    for (int a = 1; a <= 10; ++a)
        set += QByteArray::number(a).rightJustified(2, '0') + ";Z;0001;1;1200;-100;255\r\n";
    QFile f(dir.filePath("ten.khd"));
    f.open(QIODevice::WriteOnly);
    f.write(set);
    f.close();
    QFile ini(dir.filePath("Main.ini"));
    ini.open(QIODevice::WriteOnly);
    ini.write("[ComPort1]\r\nBaudRate=9600\r\n");
    ini.close();

    SimServer::Options options;
    options.port.link = dir.filePath("tty");
    options.addresses = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    options.faults.wireBaud = 9600;
    SimServer sim(options);
    QString error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::printf("10 channels, 9600 baud, 16-byte requests and replies: wire limit 333 ms a refresh\n");
    for (const Run& run : {Run{"fixed-200", RecorderOptions::Pace::Fixed, 200},
                           Run{"fixed-50", RecorderOptions::Pace::Fixed, 50},
                           Run{"reply", RecorderOptions::Pace::Reply, 200}}) {
        const double ms = refreshMs(run, seconds, options.port.link, dir.path());
        std::printf("%-10s refresh every %7.1f ms (%.2f x the wire limit)\n", run.name, ms, ms / 333.3);
    }
    return 0;
}
