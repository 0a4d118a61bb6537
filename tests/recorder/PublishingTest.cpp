// Live values at a real mosquitto: kelorec and the monitoring window publish
// the same messages for the same replies, and what a subscriber receives is
// what the record file holds.
#include "monitoring/MonitoringEngine.h"
#include "recorder/MqttPublisher.h"
#include "recorder/Recorder.h"
#include "TestBroker.h"
#include "tests/monitoring/MonitoringWindowFixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
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
    // The value messages under prefix, topic without the prefix -> payloads in order.
    QList<QPair<QString, QByteArray>> values(const QString& prefix)
    {
        QList<QPair<QString, QByteArray>> v;
        for (const TestSubscriber::Message& m : subscriber->messages(prefix + QStringLiteral("/+/+")))
            if (!m.topic.contains(QLatin1String("/health/")))
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

    TestBroker broker;
    std::unique_ptr<TestSubscriber> subscriber;
};

// Every value message of the run, in order, holds what the record file holds.
void expectPayloadsMatchRecord(const QList<QPair<QString, QByteArray>>& messages, const QByteArray& record)
{
    const QList<QByteArray> lines = record.split('\n');
    ASSERT_EQ(messages.size(), kCycles * 3);
    for (int i = 0; i < messages.size(); ++i) {
        const QList<QByteArray> fields = lines[1 + i / 3].chopped(1).split(';');
        const QJsonObject p = QJsonDocument::fromJson(messages[i].second).object();
        SCOPED_TRACE(messages[i].second.toStdString());
        EXPECT_EQ(messages[i].first, QStringLiteral("/0%1/0001").arg(i % 3 + 1));
        EXPECT_EQ(p["text"].toString().toLatin1(), fields[1 + i % 3]);
        EXPECT_EQ(QDateTime::fromString(p["time"].toString(), Qt::ISODate).toString("yyyyMMdd/HHmmss").toLatin1(),
                  fields[0]);
    }
}

} // namespace

TEST_F(Publishing, TheWindowAndKelorecPublishWhatTheyRecord)
{
    // The window, with Main.ini naming the broker.
    writeBytes(dir.mainIni(), readBytes(dir.mainIni()) + "[MQTT]\r\nUrl=" + broker.url("window").toUtf8() + "\r\n");
    open();
    load(threeChannelSet());
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
    EXPECT_EQ(subscriber->messages("kelorec/status").last().payload, "offline") << log.join('\n').toStdString();
}

TEST_F(Publishing, ABrokerThatCannotBeUsedIsSaidOnceAndTheRecordingGoesOn)
{
    for (const QString& url : {QStringLiteral("http://127.0.0.1/x"), QStringLiteral("mqtts://127.0.0.1:1/x")}) {
        SCOPED_TRACE(url.toStdString());
        RecorderOptions o;
        o.setPath = MonitorDir() + QStringLiteral("/set.khd");
        writeBytes(o.setPath, threeChannelSet());
        o.programDir = dir.path();
        o.outDir = dir.file("out-" + QString::number(url.size()));
        o.mqttUrl = url;
        o.mqttCaFile = dir.file("no-such-ca.pem");
        QStringList log;
        Recorder r(o, context.clock, Regional::plain(), [&](const QString& l) { log << l; }, context.steady);
        ASSERT_EQ(r.prepare(), "");
        r.start(false);
        r.sampleTick();
        EXPECT_EQ(log.filter("MQTT").size(), 1) << log.join('\n').toStdString();
        EXPECT_EQ(readBytes(r.recordPath()), "set.khd\r\n20240105/143022;0;0;0;\r\n");
        EXPECT_EQ(r.finish(), 0);
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
