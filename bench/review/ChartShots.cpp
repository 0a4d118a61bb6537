// Screenshots of the two charts as an operator sees them (run under Xvfb):
//   kelo_review_chart_shots viewer <folder> <prefix>
//       a month of 1 s samples (with a six-hour stop) in the data viewer
//   kelo_review_chart_shots live <program folder> <set.khd> <prefix>
//       the monitoring window polling the controllers named in the set
// Each step is taken with "import -window root <prefix>-<step>.png".
#include "BenchDialogs.h"
#include "BenchFiles.h"
#include "monitoring/MonitoringP.h"
#include "review/DataViewP.h"
#include "review/RecordChart.h"
#include "settings/AnsiText.h"
#include "settings/FuncP.h"
#include "widgets/AppContext.h"
#include "widgets/Fonts.h"
#include "widgets/Resources.h"
#include "widgets/TrendChart.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QWheelEvent>
#include <cstdio>
#include <qcustomplot.h>

namespace {

void shot(const QString& prefix, const char* step)
{
    QApplication::processEvents();
    const QString file = prefix + QLatin1Char('-') + QLatin1String(step) + QStringLiteral(".png");
    QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), file});
    std::printf("shot %s\n", qPrintable(file));
}

void wheelOver(QCustomPlot* plot, QPoint pos, int notches)
{
    QWheelEvent event(pos, plot->mapToGlobal(pos), {}, {0, 120 * notches}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(plot, &event);
}

// Runs the event loop for a while, so timers and the serial line work.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int viewer(const QString& folder, const QString& prefix)
{
    BenchDialogs answers;
    answers.openName = prepareBenchFolder(folder, 10, QStringLiteral("month.kmr"));
    if (answers.openName.isEmpty())
        return 1;
    // Zone names that differ only at their end, as furnaces name them.
    QByteArray set = "Furnace A;1000\r\n";
    static const int colours[] = {255, 65280, 16711680, 65535, 16776960, 16711935, 33023, 8454016, 16744576, 12632256};
    for (int c = 0; c < 10; ++c)
        set += "01;" + QStringLiteral("%1존 %2").arg(c / 2 + 1).arg(c % 2 ? "SV" : "PV").toLocal8Bit() + ";0001;1;1200;-100;"
            + QByteArray::number(colours[c]) + "\r\n";
    QFile setFile(QDir(MonitorDir()).filePath(QStringLiteral("bench.khd")));
    if (!setFile.open(QIODevice::WriteOnly) || setFile.write(toAnsi(QString::fromLocal8Bit(set))) < 0)
        return 1;
    setFile.close();
    // A month from 1 January, stopped for six hours on the 12th.
    writeMonthRecord(answers.openName, 30LL * 86400, 10, 11LL * 86400 + 6 * 3600, 11LL * 86400 + 12 * 3600);
    AppContext context{answers};
    TDataViewF view(context);
    view.setGeometry(0, 0, 1000, 640);
    view.show();
    runFor(300);
    view.bbtOpenClick();
    while (view.busy())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    runFor(300);
    shot(prefix, "viewer-month-1000x640");
    view.setGeometry(0, 0, 1600, 1000);
    runFor(300);
    shot(prefix, "viewer-month-1600x1000");
    RecordChart* chart = view.chart();
    chart->moveCursorTo(view.series().key(0) + 10 * 86400); // a hover cursor on screen, not in the pictures
    chart->savePicture(prefix + QStringLiteral("-export.png"));
    chart->savePicture(prefix + QStringLiteral("-export.pdf"));
    std::printf("pictures %s-export.png, .pdf\n", qPrintable(prefix));

    const double spike = view.series().key(0) + 30 * 86400 / 2 + 17; // line i is stamped i seconds in
    // A row selected in the table ten minutes after the spike, the hour around it, the cursor before it.
    view.findChild<QTableView*>(QStringLiteral("sg1"))->selectRow(int(view.series().nearestRow(spike + 600)));
    chart->setTimeRange(spike - 1800, spike + 1800);
    chart->fitValues();
    chart->moveCursorTo(spike - 600);
    chart->markRow(view.series().nearestRow(spike - 1200));
    chart->setSecondRow(view.series().nearestRow(spike + 900));
    runFor(300);
    shot(prefix, "viewer-hour");

    for (int c = 2; c < 10; ++c)
        chart->setChannelShown(c, false);
    chart->fitAll();
    runFor(300);
    shot(prefix, "viewer-two-channels");
    return 0;
}

int live(const QString& folder, const QString& setFile, const QString& prefix)
{
    SetProgramPath(folder);
    BenchDialogs answers;
    answers.openName = setFile;
    answers.saveName = QDir(MonitorDir()).filePath(QStringLiteral("shots.kmr"));
    AppContext context{answers};
    TMonitoringF window(context);
    window.setGeometry(0, 0, 1280, 1000);
    window.show();
    runFor(500);
    window.butOpenClick();
    window.bbtStartClick();
    runFor(40000);
    shot(prefix, "live-40s");

    auto* chart = window.findChild<TrendChart*>(QStringLiteral("iPlot1"));
    QCustomPlot* plot = chart->plot();
    const QRect inner = plot->axisRect()->rect();
    wheelOver(plot, QPoint(inner.left() - 12, inner.top() + inner.height() / 3), 4);
    runFor(3000);
    shot(prefix, "live-value-zoom");
    chart->toolBar()->findChild<QAction*>(QStringLiteral("actFitValue"))->trigger();
    runFor(3000);
    shot(prefix, "live-value-fit");
    window.bbtStartClick();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    installFontSubstitutions();
    initKeloResources();
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QStringLiteral("viewer"))
        return viewer(args[2], args[3]);
    if (args.size() == 5 && args[1] == QStringLiteral("live"))
        return live(args[2], args[3], args[4]);
    std::fprintf(stderr, "usage: %s viewer <folder> <prefix> | live <program folder> <set.khd> <prefix>\n", argv[0]);
    return 2;
}
