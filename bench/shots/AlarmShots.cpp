// Screenshots of alarms (run under Xvfb with a window manager such as openbox):
//   kelo_alarm_shots <program folder> <prefix>
// The channel set editor with a row's limits open; the monitoring window
// against the simulator with alarms active, acknowledged and returned; and
// the data viewer with the limits and the periods in alarm. Each picture is
// <prefix>-<step>.png.
#include "ShotRun.h"
#include "alarms/AlarmDefDialog.h"
#include "alarms/AlarmListPanel.h"
#include "monitoring/ChannelSet.h"
#include "monitoring/MinputP.h"
#include "monitoring/MonitoringP.h"
#include "review/DataViewP.h"
#include "settings/FuncP.h"
#include "sim/SimRegisters.h"
#include "sim/SimServer.h"
#include "widgets/AppContext.h"
#include "widgets/Fonts.h"
#include "widgets/QtTranslations.h"
#include "widgets/Resources.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const std::optional<QString> started = startShotProgram(argc, argv);
    if (!started)
        return 2;
    const QString prefix = *started;
    const QString link = QDir(ProgramPath).filePath(QStringLiteral("kelosim.tty"));

    // The plants follow a clock the program moves on by hours at a time.
    QElapsedTimer since;
    since.start();
    qint64 jumpedMs = 0;
    SimServer::Options options;
    options.port.link = link;
    options.addresses = {1, 2, 3, 4};
    options.clock = [&] { return since.elapsed() + jumpedMs; };
    SimServer sim(options);
    QString error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        return 1;
    }
    const auto driveTo = [&](int address, qint16 tenths) {
        sim.bus().controller(address)->write(SimReg::Sv1, tenths, options.clock());
        jumpedMs += 5 * 3600 * 1000;
    };
    for (int a = 1; a <= 4; ++a)
        driveTo(a, 600);

    const QString setPath = MonitorDir() + QStringLiteral("/furnace.khd");
    ChannelSet set{QStringLiteral("Furnace"), QStringLiteral("500"), {}};
    const char* colors[] = {"255", "32768", "16711680", "8421376"};
    for (int a = 1; a <= 4; ++a)
        set.channels.append({QStringLiteral("%1").arg(a, 2, 10, QLatin1Char('0')), QStringLiteral("%1구역").arg(a),
                             QStringLiteral("0001"), QStringLiteral("1"), QStringLiteral("1200"), QStringLiteral("0"),
                             QLatin1String(colors[a - 1])});
    writeChannelSetFile(setPath, set); // code page 949, as the editor writes it
    writeFile(MonitorDir() + QStringLiteral("/furnace.alarms.ini"),
              "; Alarm limits of the channel set furnace.khd, in each channel's displayed units\n"
              "[Channel 1]\nAddr=01\nReg=0001\nHigh=100\nLow=\nHysteresis=5\nDelay=1\nPriority=alarm\n"
              "[Channel 2]\nAddr=02\nReg=0001\nHigh=\nLow=50\nHysteresis=2\nDelay=0\nPriority=warning\n"
              "[Channel 3]\nAddr=03\nReg=0001\nHigh=80\nLow=40\nHysteresis=2\nDelay=0\nPriority=warning\n");
    writeFile(MainIniPath(), "[ComPort1]\r\nPort=" + link.toLocal8Bit()
                                 + "\r\nBaudRate=9600\r\nParity=None\r\nDataBits=8\r\nStopBits=1\r\n"
                                   "[Delay]\r\nTime=100\r\n");
    ShotDialogs dialogs;
    AppContext context{dialogs};

    {
        TMinputF editor(context);
        editor.findChild<QLabel*>(QStringLiteral("PanFile"))->setText(QLatin1Char('[') + setPath + QLatin1Char(']'));
        editor.show();
        runFor(300);
        editor.findChild<QToolButton*>(QStringLiteral("spbAlarm"))->click();
        runFor(500);
        shot(prefix, "editor");
        if (auto* d = editor.findChild<AlarmDefDialog*>())
            d->reject();
    }

    const QString recordPath = MonitorDir() + QStringLiteral("/furnace_run.kmr");
    {
        dialogs.openName = setPath;
        dialogs.saveName = recordPath;
        TMonitoringF window(context);
        window.setGeometry(0, 0, 1400, 950);
        window.show();
        runFor(300);
        window.butOpenClick();
        window.bbtStartClick();
        runFor(2000);
        driveTo(1, 1500); // 1구역 over its 경보 high limit
        driveTo(3, 900);  // 3구역 over its 주의 high limit
        driveTo(2, 300);  // 2구역 under its 주의 low limit
        runFor(4000);
        shot(prefix, "active");
        window.findChild<QPushButton*>(QStringLiteral("butAckAll"))->click();
        runFor(2000);
        shot(prefix, "acknowledged");
        driveTo(1, 600);  // 1구역 returns, acknowledged: off the list
        driveTo(2, 900);  // so does 2구역
        driveTo(3, 300);  // 3구역 leaves its high alarm for a low one
        runFor(1500);
        driveTo(3, 600);  // and returns before anyone acknowledges it
        driveTo(1, 1500); // 1구역 over its limit again
        runFor(3000);
        shot(prefix, "returned");
        window.bbtStartClick();
    }
    {
        dialogs.openName = recordPath;
        TDataViewF viewer(context);
        viewer.setGeometry(0, 0, 1400, 950);
        viewer.show();
        runFor(300);
        viewer.bbtOpenClick();
        viewer.finishPendingWork();
        runFor(1000);
        shot(prefix, "viewer");
    }
    return 0;
}
