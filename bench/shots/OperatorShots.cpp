// Screenshots of what an operator meets, against the simulator (run under
// Xvfb with a window manager such as openbox):
//   kelo_operator_shots <program folder> <prefix>
// the monitoring window polling three controllers and one silent address, the
// auto-tuning window after a start to a silent address, the console with
// noise on the line, and a file dialog opened from the data viewer. Each is
// taken with "import -window root <prefix>-<step>.png".
#include "ShotRun.h"
#include "autotune/AutoP.h"
#include "console/CommandP.h"
#include "monitoring/MonitoringP.h"
#include "review/DataViewP.h"
#include "review/RecordChart.h"
#include "settings/FuncP.h"
#include "sim/SimServer.h"
#include "widgets/AppContext.h"
#include "widgets/Fonts.h"
#include "widgets/QtDialogService.h"
#include "widgets/QtTranslations.h"
#include "widgets/Resources.h"
#include "widgets/SpinEdit.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTimer>
#include <cstdio>


int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    installQtKoreanTranslations(app);
    const std::optional<QString> started = startShotProgram(argc, argv);
    if (!started)
        return 2;
    const QString folder = ProgramPath;
    const QString prefix = *started;

    const QString link = QDir(folder).filePath(QStringLiteral("kelosim.tty"));
    SimServer sim(SimServer::Options{{{}, link}, {1, 2, 3}, {}, 5000, {}});
    QString error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        return 1;
    }
    const QString set = MonitorDir() + QStringLiteral("/line.khd");
    if (!writeFile(MainIniPath(), "[ComPort1]\r\nPort=" + link.toLocal8Bit()
                                      + "\r\nBaudRate=9600\r\nParity=None\r\nDataBits=8\r\nStopBits=1\r\n"
                                        "[Delay]\r\nTime=200\r\n")
        || !writeFile(set, "Line A;500\r\n01;Zone 1;0001;1;1200;-100;255\r\n02;Zone 2;0001;1;1200;-100;65280\r\n"
                           "03;Zone 3;0001;1;1200;-100;16711680\r\n07;Zone 7;0001;1;1200;-100;16711935\r\n"))
        return 1;

    ShotDialogs dialogs;
    AppContext context{dialogs};
    {
        dialogs.openName = set;
        dialogs.saveName = MonitorDir() + QStringLiteral("/shots.kmr");
        TMonitoringF window(context);
        window.setGeometry(0, 0, 1280, 900);
        window.show();
        runFor(500);
        window.butOpenClick();
        window.bbtStartClick();
        runFor(15000);
        shot(prefix, "monitoring");
        window.bbtStartClick();
    }
    {
        TAutoF window(context);
        window.show();
        runFor(500);
        window.findChild<SpinEdit*>(QStringLiteral("avSEdtAdr"))->setValue(9);   // no controller there
        window.ledButStartClick();
        runFor(6000);
        shot(prefix, "autotune-silent");
    }
    {
        sim.faults().garbageEvery = 2;
        TCommandF window(context);
        window.show();
        runFor(500);
        auto* body = window.findChild<QLineEdit*>(QStringLiteral("edtSend"));
        for (int i = 0; i < 8; ++i) {
            // A pasted control byte goes out as it is, and the log shows it.
            body->setText(i == 2 ? QStringLiteral("WHO\x1b\t") : QStringLiteral("WHO"));
            if (i == 5)
                window.findChild<QCheckBox*>(QStringLiteral("chbHex"))->setChecked(true);
            window.butSendClick();
            runFor(400);
        }
        shot(prefix, "console");
        sim.faults().garbageEvery = 0;
    }
    {
        dialogs.openName.clear();
        dialogs.saveName.clear();
        for (int i = 0; i < 6; ++i)
            writeFile(MonitorDir() + QStringLiteral("/Furnace line A - long record name_2026120%1143022.kmr").arg(i),
                      QByteArray(1500 * (i + 1), 'x'));
        TDataViewF viewer(context);
        viewer.setGeometry(0, 0, 1100, 800);
        viewer.show();
        runFor(500);
        QTimer::singleShot(1500, [&] {
            shot(prefix, "file-dialog");
            if (QWidget* dialog = QApplication::activeModalWidget())
                QMetaObject::invokeMethod(dialog, "reject");
        });
        // Opened from the chart, inside the viewer's red splitter.
        dialogs.QtDialogService::saveFileName(viewer.chart(), {QStringLiteral("모니터링파일(*.kmr)|*.kmr"), MonitorDir(),
                                                        QStringLiteral("chart.kmr"), false});
    }
    sim.stop();
    return 0;
}
