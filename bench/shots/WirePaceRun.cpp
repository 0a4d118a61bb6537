// The monitoring window against controllers that need 20 ms to answer on a
// 9600 baud line, at poll intervals of 20, 50 and 200 ms (run under Xvfb
// with a window manager such as openbox):
//   kelo_wire_pace_run <program folder> <prefix>
// Each run lasts 8 s with the traffic log showing; the last record lines,
// the status bar's counts and a screenshot <prefix>-<delay>.png are printed.
// Channel 2k-1 reads address k's PV (0001), channel 2k its SV (0301).
#include "ShotRun.h"
#include "monitoring/MonitoringP.h"
#include "settings/FuncP.h"
#include "sim/SimServer.h"
#include "widgets/AppContext.h"
#include "widgets/Fonts.h"
#include "widgets/QtDialogService.h"
#include "widgets/Resources.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTimer>
#include <cstdio>


int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const std::optional<QString> started = startShotProgram(argc, argv);
    if (!started)
        return 2;
    const QString link = QDir(ProgramPath).filePath(QStringLiteral("kelosim.tty"));
    SimServer::Options options;
    options.port.link = link;
    options.addresses = {1, 2, 3, 4, 5};
    options.faults.replyDelayMs = 20;
    options.faults.wireBaud = 9600;
    SimServer sim(options);
    QString error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        return 1;
    }
    QByteArray set = "Ten;1000\r\n";
    for (int a = 1; a <= 5; ++a)
        set += QStringLiteral("%1;PV%1;0001;1;1200;-100;255\r\n%1;SV%1;0301;1;1200;-100;65280\r\n")
                   .arg(a, 2, 10, QLatin1Char('0'))
                   .toLatin1();
    const QString setPath = MonitorDir() + QStringLiteral("/ten.khd");
    if (!writeFile(setPath, set))
        return 1;
    ShotDialogs dialogs;
    AppContext context{dialogs};
    for (const char* delay : {"20", "50", "200"}) {
        if (!writeFile(MainIniPath(), "[ComPort1]\r\nPort=" + link.toLocal8Bit()
                                          + "\r\nBaudRate=9600\r\nParity=None\r\nDataBits=8\r\nStopBits=1\r\n"
                                            "[Delay]\r\nTime=" + delay + "\r\n[Temp]\r\nValue=73\r\n"))
            return 1;
        dialogs.openName = setPath;
        dialogs.saveName = MonitorDir() + QStringLiteral("/pace_%1.kmr").arg(QLatin1String(delay));
        TMonitoringF window(context);
        window.setGeometry(0, 0, 1280, 900);
        window.show();
        runFor(300);
        window.butOpenClick();
        window.spbViewClick();
        window.bbtStartClick();
        runFor(8000);
        window.bbtStartClick();
        const auto* counts = window.findChild<QLabel*>(QStringLiteral("labBusCounts"));
        std::printf("== poll %s ms: status \"%s\"\n", delay, counts ? qPrintable(counts->text()) : "");
        QFile record(dialogs.saveName);
        if (record.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> lines = record.readAll().trimmed().split('\n');
            for (qsizetype i = std::max<qsizetype>(0, lines.size() - 3); i < lines.size(); ++i)
                std::printf("%s\n", lines[i].trimmed().constData());
        }
        shot(*started, delay);
    }
    return 0;
}
