// Live values at a real mosquitto: kelorec and the monitoring window publish
// the same messages for the same replies, and what a subscriber receives is
// what the record file holds.
#include "monitoring/MonitoringEngine.h"
#include "publish/MqttPublisher.h"
#include "recorder/Recorder.h"
#include "TestBroker.h"
#include "tests/monitoring/MonitoringWindowFixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Each cycle: channel 1 answers 123.4, channel 2 refuses, channel 3 is silent.
const QList<QByteArray> kReplies = {reply("01", "OK", "04D2"), reply("02", "NG"), {}};
constexpr int kCycles = 4;

class Publishing : public MonitoringWindowTest {
protected:
    void SetUp() override
    {
        MonitoringWindowTest::SetUp();
        ASSERT_TRUE(broker.start()) << broker.error().toStdString();
        subscriber = std::make_unique<TestSubscriber>(broker, QStringLiteral("#"));
        ASSERT_TRUE(subscriber->start());
    }
    // The value messages under prefix (<prefix>/+/+ alone), topic without the prefix -> payloads in order.
    QList<QPair<QString, QByteArray>> values(const QString& prefix)
    {
        QList<QPair<QString, QByteArray>> v;
        for (const TestSubscriber::Message& m : subscriber->messages(prefix + QStringLiteral("/+/+")))
            v.append({m.topic.mid(prefix.size()), m.payload});
        return v;
    }
    bool waitForValues(const QString& prefix, qsizetype n)
    {
        return waitUntil([&] {
            (void)subscriber->waitFor(0, 20);
            return values(prefix).size() >= n;
        });
    }
    QStringList payloads(const QString& topic)
    {
        QStringList list;
        for (const TestSubscriber::Message& m : subscriber->messages(topic))
            list << QString::fromUtf8(m.payload);
        return list;
    }
    void withMqtt(const QByteArray& lines)
    {
        writeBytes(dir.mainIni(), readBytes(dir.mainIni()) + "[MQTT]\r\n" + lines);
    }

    TestBroker broker;
    std::unique_ptr<TestSubscriber> subscriber;
};

// Every value message of the run, in order, holds what the record file holds;
// a channel without a measurement (refused, silent) is null where the record has "0".
void expectPayloadsMatchRecord(const QList<QPair<QString, QByteArray>>& messages, const QByteArray& record)
{
    const QList<QByteArray> lines = record.split('\n');
    ASSERT_EQ(messages.size(), kCycles * 3);
    for (int i = 0; i < messages.size(); ++i) {
        const QList<QByteArray> fields = lines[1 + i / 3].chopped(1).split(';');
        const QJsonObject p = QJsonDocument::fromJson(messages[i].second).object();
        SCOPED_TRACE(messages[i].second.toStdString());
        EXPECT_EQ(messages[i].first, QStringLiteral("/0%1/0001").arg(i % 3 + 1));
        EXPECT_EQ(p["seq"].toInt(), i / 3 + 1);
        if (i % 3 == 0) {
            EXPECT_EQ(p["text"].toString().toLatin1(), fields[1 + i % 3]);
            EXPECT_TRUE(p["ok"].toBool());
        } else {
            EXPECT_EQ(fields[1 + i % 3], "0");
            EXPECT_TRUE(p["value"].isNull() && p["text"].isNull() && !p["ok"].toBool(true));
        }
        EXPECT_EQ(QDateTime::fromString(p["time"].toString(), Qt::ISODate).toString("yyyyMMdd/HHmmss").toLatin1(),
                  fields[0]);
    }
}

} // namespace

TEST_F(Publishing, TheWindowAndKelorecPublishWhatTheyRecord)
{
    // The window, with Main.ini naming the broker.
    withMqtt("Url=" + broker.url("window").toUtf8() + "\r\n");
    open();
    load(threeChannelSet());
    window->findChild<MqttPublisher*>()->setHealthIntervalMs(100);
    start();
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        for (const QByteArray& r : kReplies) {
            (void)tick();
            if (!r.isEmpty())
                answer(r);
        }
        now = now.addSecs(1);
        window->tmSamplingTimer();
    }
    ASSERT_TRUE(waitForValues("window", kCycles * 3));
    EXPECT_TRUE(child<QLabel>("Label2")->toolTip().contains(broker.url("window").section('/', 0, 2)))
        << child<QLabel>("Label2")->toolTip().toStdString();
    expectPayloadsMatchRecord(values("window"), readBytes(recordPath()));
    EXPECT_EQ(payloads("window/state"), QStringList({"stopped", "running"}));
    ASSERT_TRUE(subscriber->waitFor(1, 5000, "window/health/station/+"));

    // Stop: health stops, the state says so, and the connection stays.
    window->bbtStartClick();
    ASSERT_TRUE(subscriber->waitFor(3, 5000, "window/state"));
    const qsizetype health = subscriber->messages("window/health/station/+").size();
    QTest::qWait(500);
    EXPECT_EQ(subscriber->messages("window/health/station/+").size(), health);
    EXPECT_EQ(payloads("window/state"), QStringList({"stopped", "running", "stopped"}));
    EXPECT_EQ(payloads("window/status"), QStringList({"online"}));
    window.reset();

    // kelorec, on the same line, replies and clock.
    programAssembler(ReceivingWindow::Monitoring) = ReplyAssembler();
    now = QDateTime(QDate(2024, 1, 5), QTime(14, 30, 22));
    RecorderOptions o;
    o.setPath = MonitorDir() + QStringLiteral("/set.khd");
    o.programDir = dir.path();
    o.outDir = dir.file("out");
    o.mqttUrl = broker.url("kelorec");
    QStringList log;
    Recorder r(o, context.clock, Regional::plain(), [&](const QString& l) { log << l; }, context.steady);
    ASSERT_EQ(r.prepare(), "");
    r.start(false);
    QSignalSpy replies(&r.engine(), &MonitoringEngine::replyReceived);
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        for (const QByteArray& reply : kReplies) {
            r.pollTick();
            (void)line.readAvailable();
            if (reply.isEmpty())
                continue;
            const auto before = replies.count();
            line.write(reply);
            ASSERT_TRUE(waitFor([&] { return replies.count() > before; }));
        }
        now = now.addSecs(1);
        r.sampleTick();
    }
    ASSERT_TRUE(waitForValues("kelorec", kCycles * 3));
    const QByteArray record = readBytes(r.recordPath());
    EXPECT_EQ(r.finish(), 0);
    expectPayloadsMatchRecord(values("kelorec"), record);
    EXPECT_EQ(values("kelorec"), values("window")) << "the same messages from both";
    EXPECT_TRUE(subscriber->waitFor(2, 5000, "kelorec/status"));
    EXPECT_EQ(payloads("kelorec/state"), QStringList({"running", "stopped"})) << log.join('\n').toStdString();
    EXPECT_EQ(payloads("kelorec/status").last(), "offline") << log.join('\n').toStdString();
}

// Main.ini's [MQTT] that cannot serve is said once at each Start, in a box
// that does not stop the run; the run records all the same.
TEST_F(Publishing, TheWindowSaysABadSettingAtStartAndRecordsAnyway)
{
    const struct {
        QByteArray lines;
        QString says;
    } cases[] = {
        {"Url=mqtt://127.0.0.1:99999/x\r\n", "[MQTT] Url=mqtt://127.0.0.1:99999/x"},
        {"Url=" + broker.url("w").toUtf8() + "\r\nCaFile=ca.pem\r\n", "[MQTT] CaFile="},
        {"Url=" + broker.url("w").toUtf8() + "\r\n", "채널 2 (설정파일 3번째 줄)의 Addr '0+'"},
    };
    int run = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says.toStdString());
        portAt(line.slavePath());
        withMqtt(c.lines);
        open();
        load(c.says.startsWith("채널") ? QByteArray("Set;1000\r\n01;Z1;0001;1;100;0;255\r\n0+;Z2;0001;1;100;0;255\r\n")
                                       : threeChannelSet());
        for (int start = 0; start < 2; ++start) {
            dialogs.errors.clear();
            this->start(QStringLiteral("run%1.kmr").arg(++run));
            showPostedBoxes();
            ASSERT_EQ(dialogs.errors.size(), 1) << dialogs.errors.join('\n').toStdString();
            EXPECT_TRUE(dialogs.errors[0].contains(c.says)) << dialogs.errors[0].toStdString();
            EXPECT_TRUE(dialogs.errors[0].contains("기록만 합니다"));
            EXPECT_EQ(startButton()->text(), "Stop");
            now = now.addSecs(1);
            window->tmSamplingTimer();
            EXPECT_EQ(readBytes(recordPath(QStringLiteral("run%1.kmr").arg(run))).count('\n'), 2);
            window->bbtStartClick();
        }
        window.reset();
    }
    QTest::qWait(300);
    EXPECT_TRUE(values("w").isEmpty()) << "nothing of a refused set is published";
}

// A broker that is not there is a state of the run, said once; kelorec records on.
TEST_F(Publishing, KelorecRecordsOnWhileTheBrokerIsAway)
{
    RecorderOptions o;
    o.setPath = MonitorDir() + QStringLiteral("/set.khd");
    writeBytes(o.setPath, threeChannelSet());
    o.programDir = dir.path();
    o.outDir = dir.file("out");
    o.mqttUrl = QStringLiteral("mqtt://127.0.0.1:%1/x").arg(TestBroker::freePort());
    QStringList log;
    Recorder r(o, context.clock, Regional::plain(), [&](const QString& l) { log << l; }, context.steady);
    ASSERT_EQ(r.prepare(), "");
    r.start(false);
    for (int i = 0; i < 3; ++i) {
        now = now.addSecs(1);
        r.sampleTick();
        QTest::qWait(700); // the first retries
    }
    EXPECT_EQ(log.filter("연결할 수 없습니다").size(), 1) << log.join('\n').toStdString();
    EXPECT_EQ(readBytes(r.recordPath()).count('\n'), 4);
    EXPECT_EQ(r.finish(), 0);
}

// Options that cannot serve are bad arguments: exit status 2, one line naming the option.
TEST(PublishingKelorec, BadMqttOptionsExitWithStatusTwoNamingTheOption)
{
    QTemporaryDir dir;
    const QString set = dir.filePath("kiln.khd");
    writeBytes(set, threeChannelSet());
    writeBytes(dir.filePath("bad.khd"), "Set;1000\r\n01;Z1;0001;1;100;0;255\r\n0#;Z2;0001;1;100;0;255\r\n");
    writeBytes(dir.filePath("ca.pem"), "-----BEGIN CERTIFICATE-----\n");
    const struct {
        QStringList args;
        QString says;
    } cases[] = {
        {{"--mqtt", "http://127.0.0.1/x"}, "--mqtt http://127.0.0.1/x: mqtt:// 또는 mqtts://"},
        {{"--mqtt", "mqtt://127.0.0.1:99999/x"}, "--mqtt mqtt://127.0.0.1:99999/x: 포트는 1에서 65535"},
        {{"--mqtt", "mqtt://127.0.0.1:0/x"}, "포트는 1에서 65535"},
        {{"--mqtt", "mqtt:///x"}, "호스트가 없습니다"},
        {{"--mqtt", "mqtt://u:pw@127.0.0.1/x"}, "사용자 이름과 비밀번호"},
        {{"--mqtt", "mqtt://127.0.0.1/a/+"}, "+ 나 #"},
        {{"--mqtt", "mqtt://127.0.0.1/a%00b"}, "제어 문자 U+0000"},
        {{"--mqtt", "mqtt://127.0.0.1/x", "--mqtt-user", "u", "--mqtt-password-file", dir.filePath("none")}, "--mqtt-password-file "},
        {{"--mqtt", "mqtt://127.0.0.1/x", "--mqtt-user", "u", "--mqtt-password-file", dir.path()}, "폴더입니다"},
        {{"--mqtt", "mqtts://127.0.0.1/x", "--mqtt-cafile", dir.filePath("none.pem")}, "--mqtt-cafile "},
        {{"--mqtt", "mqtt://127.0.0.1/x", "--mqtt-cafile", dir.filePath("ca.pem")}, "mqtts:// 주소에서만"},
        {{"--mqtt", "mqtt://127.0.0.1/x", "--mqtt-discovery=ha/#"}, "--mqtt-discovery ha/#:"},
        {{"--mqtt-user", "u"}, "--mqtt-user needs --mqtt URL"},
        {{"--mqtt", "mqtt://127.0.0.1/x", dir.filePath("bad.khd")}, "channel row 2 (line 3"}, // kelorec's own check comes first
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QProcess rec;
        const bool ownSet = c.args.last().endsWith(".khd");
        rec.start(QStringLiteral(KELOREC), QStringList{"--program-dir", dir.path(), "--port", dir.filePath("tty")} + c.args
                                               + (ownSet ? QStringList() : QStringList{set}));
        ASSERT_TRUE(rec.waitForFinished(10000));
        const QString err = QString::fromUtf8(rec.readAllStandardError());
        EXPECT_EQ(rec.exitCode(), 2) << err.toStdString();
        EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
        EXPECT_TRUE(err.startsWith("kelorec: ") && err.contains(c.says)) << err.toStdString();
    }
}

// The broker dies for several seconds mid-run: the record file misses nothing,
// and every value queued meanwhile reaches the subscriber, in order.
TEST(PublishingOutage, ARunOutlivesTheBrokerAndDeliversWhatWaitedInOrder)
{
    TestBroker::Options persistent;
    persistent.persistence = true;
    TestBroker broker(persistent);
    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    TestSubscriber subscriber(broker, QStringLiteral("line/01/0001"), QStringLiteral("kelo-recorder-outage"));
    ASSERT_TRUE(subscriber.start());
    ProgramDir dir;
    PtyPair line;
    writeBytes(dir.mainIni(), "[ComPort1]\r\nPort=" + line.slavePath().toUtf8() + "\r\n");
    RecorderOptions o;
    o.setPath = dir.file("set.khd");
    writeBytes(o.setPath, threeChannelSet());
    o.programDir = dir.path();
    o.mqttUrl = broker.url("line");
    QDateTime now(QDate(2024, 1, 5), QTime(14, 30, 22));
    Recorder r(o, [&] { return now; }, Regional::plain(), [](const QString&) {});
    ASSERT_EQ(r.prepare(), "");
    r.start(false);
    const auto sample = [&](int n) {
        for (int i = 0; i < n; ++i) {
            now = now.addSecs(1);
            r.sampleTick();
            QTest::qWait(100);
        }
    };
    sample(3);
    ASSERT_TRUE(subscriber.waitFor(3, 10000));
    ASSERT_TRUE(broker.saveSessions());
    broker.kill();
    sample(30); // three seconds without a broker
    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    sample(3);
    ASSERT_TRUE(subscriber.waitFor(36, 60000));
    QStringList times;
    for (const TestSubscriber::Message& m : subscriber.messages())
        times << QJsonDocument::fromJson(m.payload).object()["time"].toString();
    times.removeDuplicates(); // a message resent around the outage arrives twice
    ASSERT_EQ(times.size(), 36);
    for (int i = 0; i < 36; ++i)
        EXPECT_EQ(QDateTime::fromString(times[i], Qt::ISODateWithMs), QDateTime(QDate(2024, 1, 5), QTime(14, 30, 23 + i)));
    EXPECT_EQ(r.finish(), 0);
    EXPECT_EQ(readBytes(r.recordPath()).count('\n'), 37);
}
