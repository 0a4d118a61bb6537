// The record viewer's alarms: limits as dashed lines in each channel's
// colour, and the periods in alarm from the alarm log beside the record.
#include "alarms/AlarmLog.h"
#include "review/DataViewP.h"
#include "review/RecordChart.h"
#include "settings/FuncP.h"
#include "tests/support/Files.h"
#include "tests/support/ScriptedDialogs.h"
#include "widgets/AppContext.h"

#include <QDir>
#include <QListWidget>
#include <qcustomplot.h>
#include <gtest/gtest.h>

namespace {

const QDateTime kStart(QDate(2024, 1, 5), QTime(14, 30, 0));

double at(int seconds)
{
    return double(kStart.addSecs(seconds).toSecsSinceEpoch());
}

AlarmTransition change(int seconds, int channel, AlarmKind kind, AlarmState state)
{
    AlarmTransition t;
    t.time = kStart.addSecs(seconds);
    t.key = {channel, kind};
    t.state = state;
    t.priority = kind == AlarmKind::Low ? AlarmPriority::Warning : AlarmPriority::Alarm;
    return t;
}

} // namespace

TEST(RecordChartAlarms, PeriodsRunFromRaiseToReturnWhateverTheAcknowledgements)
{
    using S = AlarmState;
    using K = AlarmKind;
    const struct {
        const char* name;
        QList<AlarmTransition> log;
        QList<std::tuple<int, double, double>> periods; // channel, from, to
    } cases[] = {
        {"raised, acknowledged, returned",
         {change(2, 1, K::High, S::ActiveUnacked), change(3, 1, K::High, S::ActiveAcked), change(5, 1, K::High, S::Normal)},
         {{1, at(2), at(5)}}},
        {"returned before acknowledged",
         {change(2, 1, K::High, S::ActiveUnacked), change(4, 1, K::High, S::ReturnedUnacked),
          change(6, 1, K::High, S::Normal)},
         {{1, at(2), at(4)}}},
        {"still active at the end", {change(7, 2, K::Low, S::ActiveUnacked)}, {{2, at(7), at(9)}}},
        {"two alarms interleaved",
         {change(1, 1, K::High, S::ActiveUnacked), change(2, 0, K::LinkLost, S::ActiveUnacked),
          change(3, 1, K::High, S::ReturnedUnacked), change(4, 0, K::LinkLost, S::ReturnedUnacked),
          change(5, 1, K::High, S::ActiveUnacked), change(6, 1, K::High, S::ReturnedUnacked)},
         {{1, at(1), at(3)}, {0, at(2), at(4)}, {1, at(5), at(6)}}},
        {"a return without its raise (log begun mid-alarm)", {change(3, 1, K::High, S::Normal)}, {}},
    };
    for (const auto& c : cases) {
        QList<std::tuple<int, double, double>> got;
        for (const RecordChart::AlarmPeriod& p : RecordChart::alarmPeriods(c.log, at(9)))
            got.append({p.key.channel, p.from, p.to});
        EXPECT_EQ(got, c.periods) << c.name;
    }
}

// The viewer finds the alarm file beside the set and the alarm log beside
// the record, draws the limits and shades the periods.
TEST(RecordChartAlarms, TheViewerDrawsLimitsAndShadesPeriodsFromTheFilesBesideTheRecord)
{
    ProgramDir program;
    QDir(program.path()).mkdir("Monitor");
    ScriptedDialogs dialogs;
    AppContext context{dialogs, systemClock(), Regional::plain()};
    const auto monitor = [](const QString& name) { return QDir(MonitorDir()).filePath(name); };
    writeBytes(monitor("furnace.khd"), "Furnace;1000\r\n01;Zone 1;0001;1;1200;0;255\r\n02;Zone 2;0002;1;1200;0;65280\r\n");
    writeBytes(monitor("furnace.alarms.ini"),
               "[Channel 1]\nAddr=01\nReg=0001\nHigh=130\nLow=100\nHysteresis=1\nDelay=0\nPriority=alarm\n");
    QByteArray record = "furnace.khd\r\n";
    for (int i = 0; i < 10; ++i)
        record += kStart.addSecs(i).toString("yyyyMMdd/HHmmss").toLatin1() + ";" + QByteArray::number(120 + 2 * i)
                  + ";50.0;\r\n";
    writeBytes(monitor("run.kmr"), record);
    QByteArray log = QByteArray(kAlarmLogHeader) + "\n";
    const QByteArray lines[] = {
        ",1,Zone 1,high,alarm,130,132,active_unacked,\n", ",1,Zone 1,high,alarm,130,134,active_acked,\n",
        ",0,,link_lost,alarm,,,active_unacked,port gone\n", ",1,Zone 1,high,alarm,130,128,normal,\n"};
    const int seconds[] = {6, 7, 8, 9};
    for (int i = 0; i < 4; ++i)
        log += alarmTimeText(kStart.addSecs(seconds[i])).toUtf8() + lines[i];
    log += "not a line\n";
    writeBytes(monitor("run.alarms.csv"), log);

    TDataViewF view(context);
    view.show();
    dialogs.openNames.push_back(monitor("run.kmr"));
    view.bbtOpenClick();
    view.finishPendingWork();
    RecordChart* chart = view.chart();

    EXPECT_EQ(chart->limitLines(), (QList<std::pair<int, double>>{{0, 130.0}, {0, 100.0}}));
    for (int i = 0; i < chart->plot()->itemCount(); ++i)
        if (auto* line = qobject_cast<QCPItemStraightLine*>(chart->plot()->item(i)); line && line->visible()
            && line->point1->coords().y() == 130.0) {
            EXPECT_EQ(line->pen().style(), Qt::DashLine);
            EXPECT_EQ(line->pen().color(), QColor(255, 0, 0)); // channel 1's colour 255
        }
    QList<std::tuple<int, double, double>> shaded;
    for (const RecordChart::AlarmPeriod& p : chart->shadedPeriods())
        shaded.append({p.key.channel, p.from, p.to});
    EXPECT_EQ(shaded, (QList<std::tuple<int, double, double>>{{1, at(6), at(9)}, {0, at(8), at(9)}}));
    QStringList listed;
    for (int i = 0; i < view.findChild<QListWidget*>()->count(); ++i)
        listed << view.findChild<QListWidget*>()->item(i)->text();
    EXPECT_TRUE(listed.contains(QString::fromUtf8("경보 기록: run.alarms.csv (4건)"))) << listed.join('|').toStdString();

    // Lines go with their channel's trace, and follow the percent scale.
    chart->setChannelShown(0, false);
    EXPECT_TRUE(chart->limitLines().isEmpty());
    chart->setChannelShown(0, true);
    chart->setPercent(true);
    EXPECT_EQ(chart->limitLines(), (QList<std::pair<int, double>>{{0, 130.0 * 100 / 1200}, {0, 100.0 * 100 / 1200}}));
}
