// A zone driven over its high limit by kelosim and back: kelorec raises the
// alarm after its delay, returns it past the hysteresis, and says both in its
// log, its alarm log beside the record and at a real mosquitto; an
// acknowledgement reaches the broker and the alarm log too.
#include "alarms/AlarmBook.h"
#include "alarms/AlarmFeed.h"
#include "alarms/AlarmText.h"
#include "publish/MqttAlarmFeed.h"
#include "recorder/Recorder.h"
#include "TestBroker.h"
#include "tests/support/EventWait.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <csignal>

namespace {

const QByteArray kSet = "Kiln;500\r\n01;Z1;0001;1;1200;-100;255\r\n02;Z2;0001;1;1200;-100;255\r\n";
// Zone 1 may not stay above 40.0 for a second; back under 38.0 it has returned.
const QByteArray kLimits = "[Channel 1]\nAddr=01\nReg=0001\nHigh=40.0\nLow=\nHysteresis=2.0\nDelay=1\nPriority=alarm\n";

// A folder with Main.ini, the set and its alarm file; kelosim drives zone 1
// from 25.0 to 50.0 at 10.0 a second, holds it holdMs and brings it back.
class Kiln {
public:
    explicit Kiln(int holdMs)
    {
        writeBytes(dir.filePath("Main.ini"), "[ComPort1]\r\nBaudRate=9600\r\n[Delay]\r\nTime=50\r\n");
        writeBytes(dir.filePath("kiln.khd"), kSet);
        writeBytes(dir.filePath("kiln.alarms.ini"), kLimits);
        sim.start(QStringLiteral(KELOSIM), {"--link", link(), "--addresses", "1-2", "--ramp",
                                            QStringLiteral("1:250:500:100:%1:1000").arg(holdMs)});
        ready = waitUntil([&] { return QFileInfo::exists(link()); });
    }
    ~Kiln()
    {
        sim.kill();
        sim.waitForFinished(5000);
    }
    [[nodiscard]] QString link() const { return dir.filePath("tty"); }
    [[nodiscard]] QString out() const { return dir.filePath("out"); }
    // kelorec's run in-process on the kiln, publishing under mqttUrl.
    [[nodiscard]] RecorderOptions options(const QString& mqttUrl) const
    {
        RecorderOptions o;
        o.setPath = dir.filePath("kiln.khd");
        o.programDir = dir.path();
        o.port = link();
        o.outDir = out();
        o.mqttUrl = mqttUrl;
        return o;
    }
    // The one record file and its alarm log.
    [[nodiscard]] QString outFile(const char* suffix) const
    {
        const QStringList names = QDir(out()).entryList({QStringLiteral("*") + suffix}, QDir::Files);
        return names.size() == 1 ? QDir(out()).filePath(names[0]) : QString();
    }

    QTemporaryDir dir;
    QProcess sim;
    bool ready = false;
};

struct LogLine {
    QDateTime time;
    QString state;
    double value = 0;
};

// The alarm log's lines for channel 1's high alarm.
QList<LogLine> highLines(const QString& path)
{
    static const QRegularExpression line(
        QStringLiteral("^(\\S+[+-]\\d\\d:\\d\\d),1,Z1,high,alarm,40,([0-9.]+),(\\w+),$"));
    QList<LogLine> out;
    const QList<QByteArray> lines = readBytes(path).split('\n');
    EXPECT_EQ(lines.value(0), "time,channel,caption,kind,priority,limit,value,state,detail");
    for (const QByteArray& l : lines.mid(1)) {
        const auto m = line.match(QString::fromUtf8(l));
        if (m.hasMatch())
            out.append({QDateTime::fromString(m.captured(1), Qt::ISODate), m.captured(3), m.captured(2).toDouble()});
        else
            EXPECT_TRUE(l.isEmpty()) << "not a line of the high alarm: " << l.toStdString();
    }
    return out;
}

// The first sample of zone 1 above the limit, from the record file.
QDateTime firstOver(const QString& record)
{
    for (const QByteArray& l : readBytes(record).split('\n').mid(1)) {
        const QList<QByteArray> f = l.split(';');
        if (f.size() > 2 && f[1].toDouble() > 40.0)
            return QDateTime::fromString(QString::fromLatin1(f[0]), QStringLiteral("yyyyMMdd/HHmmss"));
    }
    return {};
}

QStringList states(TestSubscriber& sub, const QString& topic)
{
    QStringList s;
    for (const TestSubscriber::Message& m : sub.messages(topic))
        s << QJsonDocument::fromJson(m.payload).object()[QStringLiteral("state")].toString();
    return s;
}

TEST(AlarmRecording, KelorecRaisesLogsPublishesAndReturnsAHighAlarm)
{
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    TestSubscriber sub(broker, QStringLiteral("#"));
    ASSERT_TRUE(sub.start());
    Kiln kiln(3000);
    ASSERT_TRUE(kiln.ready);
    QProcess rec;
    rec.start(QStringLiteral(KELOREC), {"--program-dir", kiln.dir.path(), "--port", kiln.link(), "--out", kiln.out(),
                                        "--mqtt", broker.url("kiln"), "--mqtt-discovery",
                                        kiln.dir.filePath("kiln.khd")});
    QString log;
    ASSERT_TRUE(waitUntil([&] {
        log += QString::fromUtf8(rec.readAllStandardError());
        return log.contains("alarm high returned") || rec.state() == QProcess::NotRunning;
    }, 60000));
    rec.terminate();
    ASSERT_TRUE(rec.waitForFinished(10000));
    log += QString::fromUtf8(rec.readAllStandardError());
    ASSERT_EQ(rec.exitCode(), 0) << log.toStdString();

    // The alarm log: raised at least the delay after the first sample over
    // the limit, returned under limit minus hysteresis, nothing else.
    const QList<LogLine> lines = highLines(kiln.outFile(".alarms.csv"));
    ASSERT_EQ(lines.size(), 2) << log.toStdString();
    EXPECT_EQ(lines[0].state, "active_unacked");
    EXPECT_GT(lines[0].value, 40.0);
    EXPECT_GE(firstOver(kiln.outFile(".kmr")).secsTo(lines[0].time), 1);
    EXPECT_EQ(lines[1].state, "returned_unacked");
    EXPECT_LT(lines[1].value, 38.0);
    EXPECT_EQ(QDir(kiln.out()).entryList({"kiln.alarms.ini"}).size(), 1) << "the limits go with the set";

    // kelorec's log: one line each, with the same value.
    EXPECT_EQ(log.count("alarm high raised: channel 1 (address 01, register 0001, Z1) at "
                        + alarmNumberText(lines[0].value) + ", limit 40 (alarm)"),
              1)
        << log.toStdString();
    EXPECT_EQ(log.count("alarm high returned: channel 1 (address 01, register 0001, Z1) at "
                        + alarmNumberText(lines[1].value) + ", limit 40 (alarm)"),
              1)
        << log.toStdString();

    // The broker: normal at the start, then each change, retained.
    ASSERT_TRUE(sub.waitFor(3, 10000, "kiln/alarms/01/0001"));
    EXPECT_EQ(states(sub, "kiln/alarms/01/0001"), QStringList({"normal", "active_unacked", "returned_unacked"}));
    const QJsonObject raised = QJsonDocument::fromJson(sub.messages("kiln/alarms/01/0001")[1].payload).object();
    EXPECT_EQ(raised["value"].toDouble(), lines[0].value);
    EXPECT_EQ(raised["limit"].toDouble(), 40.0);
    EXPECT_EQ(raised["kind"].toString(), "high");
    EXPECT_TRUE(raised["active"].toBool());
    EXPECT_EQ(states(sub, "kiln/alarms/system/link_lost"), QStringList({"normal"}));
    // Channel 2 has no limit: whatever an earlier run left there is cleared.
    ASSERT_EQ(sub.messages("kiln/alarms/02/0001").size(), 1);
    EXPECT_EQ(sub.messages("kiln/alarms/02/0001")[0].payload, "(null)"); // mosquitto_sub -v: an empty message
    QStringList sensors, cleared;
    for (const TestSubscriber::Message& m : sub.messages("homeassistant/binary_sensor/+/config")) {
        if (m.payload == "(null)") {
            cleared << m.topic;
            continue;
        }
        const QJsonObject c = QJsonDocument::fromJson(m.payload).object();
        EXPECT_EQ(c["device_class"].toString(), "problem");
        sensors << c["state_topic"].toString();
    }
    sensors.sort();
    EXPECT_EQ(sensors, QStringList({"kiln/alarms/01/0001", "kiln/alarms/system/broker_away",
                                    "kiln/alarms/system/channel_lost/01/0001",
                                    "kiln/alarms/system/channel_lost/02/0001", "kiln/alarms/system/link_lost",
                                    "kiln/alarms/system/record_failing"}));
    EXPECT_EQ(cleared, QStringList({MqttAlarmTopics::discoveryConfig("homeassistant", "kiln/alarms/02/0001")}));
}

TEST(AlarmRecording, AnAcknowledgementReachesTheBrokerAndTheAlarmLog)
{
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    TestSubscriber sub(broker, QStringLiteral("ack/alarms/01/0001"));
    ASSERT_TRUE(sub.start());
    Kiln kiln(4000);
    ASSERT_TRUE(kiln.ready);
    const RecorderOptions o = kiln.options(broker.url("ack"));
    QStringList log;
    Recorder r(o, systemClock(), Regional::plain(), [&](const QString& l) { log << l; });
    ASSERT_EQ(r.prepare(), "");
    r.start();
    const AlarmKey high{1, AlarmKind::High};
    ASSERT_TRUE(waitUntil([&] { return r.alarms().state(high) == AlarmState::ActiveUnacked; }, 60000));
    r.alarms().acknowledge(high, QDateTime::currentDateTime());
    EXPECT_EQ(r.alarms().unacknowledged(), 0);
    // Acknowledged, it leaves the list without a trace once it returns.
    ASSERT_TRUE(waitUntil([&] { return r.alarms().state(high) == AlarmState::Normal; }, 60000));
    EXPECT_TRUE(r.alarms().listed().isEmpty());
    EXPECT_EQ(r.finish(), 0);

    ASSERT_TRUE(sub.waitFor(4, 10000));
    EXPECT_EQ(states(sub, "ack/alarms/01/0001"), QStringList({"normal", "active_unacked", "active_acked", "normal"}));
    QStringList logged;
    for (const LogLine& l : highLines(kiln.outFile(".alarms.csv")))
        logged << l.state;
    EXPECT_EQ(logged, QStringList({"active_unacked", "active_acked", "normal"})) << log.join('\n').toStdString();
}

// The port pulled and the broker gone for a while: each is raised while it
// lasts (the broker only once it has been away its time) and returns after,
// in kelorec's log and its alarm log; the broker's return is published.
TEST(AlarmRecording, ThePortAndTheBrokerAwayAreSystemAlarms)
{
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    TestSubscriber before(broker, QStringLiteral("sys/alarms/system/link_lost"));
    ASSERT_TRUE(before.start());
    Kiln kiln(0);
    ASSERT_TRUE(kiln.ready);
    const RecorderOptions o = kiln.options(broker.url("sys"));
    QStringList log;
    Recorder r(o, systemClock(), Regional::plain(), [&](const QString& l) { log << l; });
    ASSERT_EQ(r.prepare(), "");
    r.alarmFeed().setBrokerAwayMs(500);
    r.start();
    const auto reaches = [&](AlarmKind kind, AlarmState state) {
        return waitUntil([&] { return r.alarms().state({0, kind}) == state; }, 30000);
    };
    ::kill(pid_t(kiln.sim.processId()), SIGUSR1); // the port vanishes ...
    ASSERT_TRUE(reaches(AlarmKind::LinkLost, AlarmState::ActiveUnacked)) << log.join('\n').toStdString();
    ::kill(pid_t(kiln.sim.processId()), SIGUSR1); // ... and comes back
    ASSERT_TRUE(reaches(AlarmKind::LinkLost, AlarmState::ReturnedUnacked)) << log.join('\n').toStdString();
    ASSERT_TRUE(before.waitFor(3, 10000));
    EXPECT_EQ(states(before, "sys/alarms/system/link_lost"),
              QStringList({"normal", "active_unacked", "returned_unacked"}));
    broker.stop();
    ASSERT_TRUE(reaches(AlarmKind::BrokerAway, AlarmState::ActiveUnacked));
    ASSERT_TRUE(broker.start());
    ASSERT_TRUE(reaches(AlarmKind::BrokerAway, AlarmState::ReturnedUnacked));
    // What waited for the broker reaches it: the retained state is the return.
    TestSubscriber after(broker, QStringLiteral("sys/alarms/system/broker_away"));
    ASSERT_TRUE(after.start());
    ASSERT_TRUE(after.waitFor(1, 10000));
    EXPECT_EQ(states(after, "sys/alarms/system/broker_away"), QStringList({"returned_unacked"}));
    EXPECT_EQ(r.finish(), 0);

    const QString all = log.join('\n');
    for (const char* line : {"alarm link_lost raised (alarm): port gone", "alarm link_lost returned (alarm)",
                             "alarm broker_away raised (alarm): the MQTT broker has been away",
                             "alarm broker_away returned (alarm)"})
        EXPECT_EQ(all.count(QString::fromLatin1(line)), 1) << line << "\n" << all.toStdString();
    QStringList logged;
    for (const QByteArray& l : readBytes(kiln.outFile(".alarms.csv")).split('\n').mid(1))
        if (l.contains(",0,,"))
            logged << QString::fromLatin1(l.split(',')[3] + ' ' + l.split(',')[7]);
    EXPECT_EQ(logged, QStringList({"link_lost active_unacked", "link_lost returned_unacked",
                                   "broker_away active_unacked", "broker_away returned_unacked"}));
}

} // namespace
