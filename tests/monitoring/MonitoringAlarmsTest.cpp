// The monitoring window's alarms against the simulator on a pseudo-terminal:
// the limits beside the set, the cell, the list, acknowledging, the return
// past the hysteresis, the tone and its mute, the log beside the record, and
// the poll and sampling rhythm going on while alarms come and go.
#include "MonitoringWindowFixture.h"

#include "alarms/AlarmBook.h"
#include "alarms/AlarmListPanel.h"
#include "alarms/AlarmSound.h"
#include "alarms/AlarmWords.h"
#include "monitoring/MonitoringEngine.h"
#include "sim/SimRegisters.h"
#include "sim/SimServer.h"
#include "tests/support/HeldBoxes.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>

namespace {

// Channel 1 reads the simulated zone in tenths (Dot 1); channel 2 has no limit.
const QByteArray kSet = "Furnace;500\r\n01;Zone 1;0001;1;1200;0;255\r\n02;Zone 2;0001;1;1200;0;65280\r\n";
const QByteArray kLimits = "; limits\n[Channel 1]\nAddr=01\nReg=0001\nHigh=100.0\nLow=\nHysteresis=5\nDelay=1\n"
                           "Priority=alarm\n";

class MonitoringAlarms : public MonitoringWindowTest {
protected:
    MonitoringAlarms() { context.steady = steadyClock(); } // the on-delay runs on real time
    void TearDown() override
    {
        AlarmSound::setMuted(false); // the mute holds for the program's life
        MonitoringWindowTest::TearDown();
    }

    AlarmListPanel& panel() { return window->alarmPanel(); }
    // The list as "kind/state/value" rows, newest first.
    QStringList listed()
    {
        QStringList rows;
        for (int r = 0; r < panel().rowCount(); ++r)
            rows << panel().cellText(r, AlarmListPanel::ColKind) + "/" + panel().cellText(r, AlarmListPanel::ColState)
                    + "/" + panel().cellText(r, AlarmListPanel::ColChannel);
        return rows;
    }
    // The colour shown in the middle of a value cell's left edge (clear of its text).
    QColor shownFill(int channel)
    {
        const QRect cell = values()->visualRect(values()->model()->index(1, channel));
        // Only the cell: a picture that small is converted on this thread.
        return values()->viewport()->grab(cell).toImage().pixelColor(3, cell.height() / 2);
    }
};

} // namespace

TEST_F(MonitoringAlarms, AHighAlarmIsRaisedAfterItsDelayAcknowledgedAndReturnsOnlyPastTheHysteresis)
{
    qint64 simMs = 0;
    SimServer::Options options;
    options.addresses = {1, 2};
    options.clock = [&] { return simMs; };
    SimServer server(options);
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    portAt(server.port().devicePath(), "100");
    writeBytes(MonitorDir() + "/set.alarms.ini", kLimits);
    open();
    window->show();
    load(kSet);
    // The zone is driven by its set value; the simulated hours pass at once.
    const auto driveTo = [&](qint16 tenths) {
        ASSERT_TRUE(server.bus().controller(1)->write(SimReg::Sv1, tenths, simMs));
        simMs += 18000 * 1000; // five hours: settled on the set value
    };
    int rings = 0;
    child<AlarmSound>("sndAlarm")->setRing([&] { ++rings; });

    dialogs.saveNames.push_back(recordPath());
    window->bbtStartClick(); // the window's own timers run the whole test
    QSignalSpy samples(&window->engine(), &MonitoringEngine::sampleRecorded);
    QSignalSpy requests(&window->engine(), &MonitoringEngine::requestSent);
    // Each phase must see the run go on: samples taken and requests sent.
    const auto runGoesOn = [&](const char* phase) {
        const qsizetype s = samples.count(), r = requests.count();
        EXPECT_TRUE(waitFor([&] { return samples.count() >= s + 3 && requests.count() >= r + 3; })) << phase;
        EXPECT_TRUE(child<IntervalTimer>("Timer1")->isFiring()) << phase;
        EXPECT_TRUE(child<IntervalTimer>("tmSampling")->isFiring()) << phase;
        EXPECT_EQ(child<IntervalTimer>("Timer1")->interval(), 100) << phase;
        EXPECT_EQ(child<IntervalTimer>("tmSampling")->interval(), 500) << phase;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << phase;
    };
    runGoesOn("normal");
    EXPECT_TRUE(listed().isEmpty());
    EXPECT_FALSE(shownFill(1) == priorityColor(AlarmPriority::Alarm));
    EXPECT_EQ(child<QLabel>("labAlarmCount")->text(), QString::fromUtf8("미확인 경보 0"));

    driveTo(1500); // 150.0, over the high limit of 100.0
    ASSERT_TRUE(waitFor([&] { return !listed().isEmpty(); }));
    EXPECT_EQ(listed(), QStringList{QString::fromUtf8("상한/발생·미확인/Zone 1")});
    EXPECT_EQ(panel().cellText(0, AlarmListPanel::ColValue).toDouble(), 150.0);
    EXPECT_TRUE(child<AlarmListPanel>("PanAlarms")->isVisible()); // a new alarm brings the list into view
    EXPECT_EQ(child<QLabel>("labAlarmCount")->text(), QString::fromUtf8("미확인 경보 1"));
    // Unacknowledged: the cell flashes between red and a pale red.
    const QColor red = priorityColor(AlarmPriority::Alarm);
    EXPECT_EQ(shownFill(1), window->alarmFlashOn() ? red : window->valueCellFill(1));
    EXPECT_TRUE(waitFor([&] { return !window->alarmFlashOn(); }));
    EXPECT_NE(shownFill(1), red);
    EXPECT_EQ(shownFill(1), window->valueCellFill(1));
    EXPECT_EQ(shownFill(2), values()->viewport()->palette().color(QPalette::Base));
    EXPECT_TRUE(waitFor([&] { return rings >= 2; })); // the tone repeats while unacknowledged
    runGoesOn("raised");

    panel().selectRow(0);
    child<QPushButton>("butAck")->click();
    ASSERT_TRUE(waitFor([&] { return listed() == QStringList{QString::fromUtf8("상한/발생·확인/Zone 1")}; }));
    EXPECT_EQ(child<QLabel>("labAlarmCount")->text(), QString::fromUtf8("미확인 경보 0"));
    EXPECT_EQ(shownFill(1), red); // acknowledged and still active: steady red
    EXPECT_FALSE(child<AlarmSound>("sndAlarm")->sounding());
    runGoesOn("acknowledged");

    driveTo(970); // 97.0: under the limit but not past 100.0 - 5
    runGoesOn("inside the hysteresis");
    EXPECT_EQ(window->engine().value(1), 97.0);
    EXPECT_EQ(listed(), QStringList{QString::fromUtf8("상한/발생·확인/Zone 1")});

    driveTo(900); // 90.0: returned, and acknowledged already, so no longer listed
    ASSERT_TRUE(waitFor([&] { return listed().isEmpty(); }));
    EXPECT_FALSE(window->valueCellFill(1).isValid());
    runGoesOn("returned");

    // Raised again and returned before anyone acknowledges it: listed until then.
    driveTo(1500);
    ASSERT_TRUE(waitFor([&] { return !listed().isEmpty(); }));
    child<QToolButton>("spbMute")->click();
    EXPECT_FALSE(child<AlarmSound>("sndAlarm")->sounding());
    const int ringsMuted = rings;
    driveTo(500);
    ASSERT_TRUE(waitFor([&] { return listed() == QStringList{QString::fromUtf8("상한/복귀·미확인/Zone 1")}; }));
    runGoesOn("returned unacknowledged, muted");
    EXPECT_EQ(rings, ringsMuted);
    child<QPushButton>("butAckAll")->click();
    ASSERT_TRUE(waitFor([&] { return listed().isEmpty(); }));
    runGoesOn("all acknowledged");

    window->bbtStartClick();
    EXPECT_TRUE(dialogs.messages.empty());
    // One record line per sample, and every change in the log beside the record.
    EXPECT_EQ(readBytes(recordPath()).count("\r\n"), 1 + samples.count());
    QStringList states;
    for (const QByteArray& line : readBytes(MonitorDir() + "/run.alarms.csv").split('\n'))
        if (!line.isEmpty())
            states << QString::fromUtf8(line.split(',').value(3) + "/" + line.split(',').value(7));
    EXPECT_EQ(states, (QStringList{"kind/state", "high/active_unacked", "high/active_acked", "high/normal",
                                   "high/active_unacked", "high/returned_unacked", "high/normal"}));
}

// A set's alarm file that cannot be taken is said beside the list, without
// a box; the set loads and runs with the system alarms only.
TEST_F(MonitoringAlarms, ABrokenAlarmFileIsSaidInTheListAndTheSetRunsWithoutLimits)
{
    const struct {
        const char* name;
        QByteArray file;
        const char* said; // in the problem line, "" for none
    } cases[] = {
        {"none", {}, ""},
        {"good", kLimits, ""},
        {"other register", QByteArray(kLimits).replace("Reg=0001", "Reg=0002"), "set.alarms.ini"},
        {"not a number", QByteArray(kLimits).replace("High=100.0", "High=1,5"), "set.alarms.ini"},
    };
    open();
    for (const auto& c : cases) {
        QFile::remove(MonitorDir() + "/set.alarms.ini");
        if (!c.file.isNull())
            writeBytes(MonitorDir() + "/set.alarms.ini", c.file);
        load(kSet);
        EXPECT_EQ(panel().problem().contains(QString::fromUtf8(c.said)), true) << c.name;
        EXPECT_EQ(panel().problem().isEmpty(), *c.said == 0) << c.name;
        EXPECT_EQ(window->alarmBook().settings().channels.value(0).high.has_value(), c.name == std::string("good"))
            << c.name;
        EXPECT_TRUE(startButton()->isEnabled()) << c.name;
    }
    EXPECT_TRUE(dialogs.messages.empty());
}

// The record folder vanishes: the error box waits for the operator while the
// record-failing alarm comes, is acknowledged and goes, and the timers keep
// their rhythm under the box.
TEST_F(MonitoringAlarms, WhileTheRecordFailureBoxIsHeldOpenTheAlarmComesIsAcknowledgedAndGoes)
{
    portAt(line.slavePath(), "40");
    open();
    load("Line;50\r\n01;Zone 1;0001;1;1200;0;255\r\n");
    dialogs.saveNames.push_back(recordPath());
    window->bbtStartClick(); // the window's own timers; no controller answers
    QSignalSpy polls(child<IntervalTimer>("Timer1"), &IntervalTimer::timeout);
    QSignalSpy samples(child<IntervalTimer>("tmSampling"), &IntervalTimer::timeout);
    const QString failing = QString::fromUtf8("기록 실패/");
    const auto hasRecordAlarm = [&](const char* state) {
        return listed().filter(failing + QString::fromUtf8(state)).size() == 1;
    };
    QStringList seen; // the record alarm's states, as the held box saw them
    HeldBoxes held(dialogs, [&](const QString&) {
        const auto back = HeldBoxes::moreSignals({&polls, &samples}, 6);
        return std::function<bool()>([&, back] {
            if (seen.isEmpty() && hasRecordAlarm("발생·미확인")) {
                seen << "raised";
                child<QPushButton>("butAckAll")->click();
            } else if (seen.size() == 1 && hasRecordAlarm("발생·확인")) {
                seen << "acknowledged";
                EXPECT_TRUE(QDir().mkpath(MonitorDir()));
            } else if (seen.size() == 2 && listed().filter(failing).isEmpty()) {
                seen << "returned";
            }
            return seen.size() == 3 && back();
        });
    });
    ASSERT_TRUE(waitFor([&] { return samples.count() >= 2; }));
    ASSERT_TRUE(QDir(MonitorDir()).removeRecursively());
    ASSERT_TRUE(waitFor([&] { return held.held == 1; }));
    EXPECT_EQ(seen, (QStringList{"raised", "acknowledged", "returned"}));
    window->bbtStartClick();
    EXPECT_EQ(window->engine().unwrittenLines(), 0);
    // The alarm log kept its lines while the folder was gone.
    const QByteArray log = readBytes(MonitorDir() + "/run.alarms.csv");
    EXPECT_TRUE(log.contains(",0,,record_failing,alarm,,,active_unacked,")) << log.toStdString();
    EXPECT_TRUE(log.contains(",0,,record_failing,alarm,,,normal,")) << log.toStdString();
}
