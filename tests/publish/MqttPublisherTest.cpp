#include "TestBroker.h"
#include "publish/MqttPublisher.h"
#include "publish/MqttTopics.h"
#include "tests/support/Files.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using State = MqttPublisher::State;

namespace {

const QDateTime kStart(QDate(2024, 5, 2), QTime(14, 3, 0), Qt::OffsetFromUTC, 9 * 3600);

// Every state change a publisher reports, as kelorec would log them.
struct StateLog {
    explicit StateLog(MqttPublisher& publisher)
    {
        QObject::connect(&publisher, &MqttPublisher::stateChanged,
                         [this](State state, const QString& message) { changes.append({state, message}); });
    }
    bool waitFor(State state, int timeoutMs = 15000)
    {
        return QTest::qWaitFor([&] { return !changes.isEmpty() && changes.last().first == state; }, timeoutMs);
    }
    QList<State> states() const
    {
        QList<State> list;
        for (const auto& change : changes)
            list.append(change.first);
        return list;
    }
    QList<QPair<State, QString>> changes;
};

TestBroker::Options persistent()
{
    TestBroker::Options options;
    options.persistence = true;
    return options;
}

ChannelDef channel(const QString& addr, const QString& caption = QStringLiteral("Zone"),
                   const QString& reg = QStringLiteral("0001"), const QString& dot = QStringLiteral("0"))
{
    return {addr, caption, reg, dot, "1200", "-100", "255"};
}

// The one-channel set the counter runs publish.
const ChannelSet kCounterSet{"Counter", "1000", {channel("01")}};

SampleValue counter(int i)
{
    return {double(i), QString::number(i)};
}

// A publisher of the settings in a run of the set.
std::unique_ptr<MqttPublisher> running(const MqttSettings& settings, const ChannelSet& set = kCounterSet)
{
    auto publisher = std::make_unique<MqttPublisher>(settings);
    EXPECT_EQ(publisher->beginRun(set), "");
    return publisher;
}

// The values of the counter messages in order of first arrival (QoS 1 may
// deliver one twice across a broken connection).
QList<int> firstArrivals(const QList<TestSubscriber::Message>& messages)
{
    QList<int> values;
    for (const auto& m : messages) {
        const int value = QJsonDocument::fromJson(m.payload).object().value("value").toInt();
        if (!values.contains(value))
            values.append(value);
    }
    return values;
}

QList<int> range(int from, int to)
{
    QList<int> list;
    for (int i = from; i < to; ++i)
        list.append(i);
    return list;
}

std::string lines(const QStringList& list)
{
    return list.join('\n').toStdString();
}

QStringList payloads(const QList<TestSubscriber::Message>& messages)
{
    QStringList list;
    for (const auto& m : messages)
        list.append(QString::fromUtf8(m.payload));
    return list;
}

QStringList topics(const QList<TestSubscriber::Message>& messages)
{
    QStringList list;
    for (const auto& m : messages)
        list.append(m.topic);
    return list;
}

QJsonObject json(const QByteArray& payload)
{
    return QJsonDocument::fromJson(payload).object();
}

} // namespace

TEST(MqttPublisher, ARunPublishesItsListStateValuesAndHealthOnTopicsThatFilterApart)
{
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    TestSubscriber everything(broker, "plant/line1/#");
    TestSubscriber values(broker, "plant/line1/+/+");
    ASSERT_TRUE(everything.start());
    ASSERT_TRUE(values.start());

    const ChannelSet set{"Kiln \"A\"", "1000", {channel("01", "Zone 1 \"상부\"", "0001", "1"),
                                               channel("02", "하부/가열", "0101"), channel("03", "Spare")}};
    {
        MqttPublisher publisher(MqttSettings{broker.url("plant/line1"), {}, {}, {}, {}, {}});
        StateLog log(publisher);
        publisher.start();
        ASSERT_EQ(publisher.beginRun(set), "");
        for (int i = 0; i < 20; ++i) {
            publisher.busHealth().request("01");
            publisher.busHealth().reply("01", true, 42);
            // Channel 3 never answers: no measurement, so null, not a number.
            publisher.publishSample(kStart.addSecs(i), {{123.4 + i, QString::number(123.4 + i, 'f', 1)}, {1234, "1,234"}, {}});
        }
        publisher.endRun();
        ASSERT_TRUE(values.waitFor(60, 15000));
        ASSERT_TRUE(everything.waitFor(1, 15000, "plant/line1/health/station/01"));
        EXPECT_EQ(log.states(), QList<State>({State::Connecting, State::Connected}));
    }
    ASSERT_TRUE(everything.waitFor(2, 10000, "plant/line1/status"));

    // <prefix>/+/+ gives the values alone, in order, seq rising by one a tick.
    const auto v = values.messages();
    ASSERT_EQ(v.size(), 60) << lines(topics(v));
    for (int i = 0; i < 60; ++i) {
        SCOPED_TRACE(v[i].payload.toStdString());
        EXPECT_EQ(v[i].topic, QStringList({"plant/line1/01/0001", "plant/line1/02/0101", "plant/line1/03/0001"})[i % 3]);
        EXPECT_EQ(json(v[i].payload).value("seq").toInt(), i / 3 + 1);
    }
    EXPECT_EQ(v[0].payload, QByteArray("{\"time\":\"2024-05-02T14:03:00.000+09:00\",\"seq\":1,\"value\":123.4,"
                                       "\"text\":\"123.4\",\"caption\":\"Zone 1 \\\"상부\\\"\",\"unit_dot\":1,\"ok\":true}"));
    EXPECT_EQ(v[2].payload, QByteArray("{\"time\":\"2024-05-02T14:03:00.000+09:00\",\"seq\":1,\"value\":null,"
                                       "\"text\":null,\"caption\":\"Spare\",\"unit_dot\":0,\"ok\":false}"));
    EXPECT_EQ(json(v[4].payload).value("text").toString(), "1,234");

    // <prefix>/# has the rest: the list and "running" before the first value,
    // the health (three levels), "stopped" after the last.
    QStringList order;
    for (const auto& m : everything.messages()) {
        const QString level = m.topic.mid(QStringLiteral("plant/line1/").size());
        if (level.startsWith("0")) {
            if (order.isEmpty() || order.last() != "values")
                order.append("values");
        } else {
            order.append(level + (level.startsWith("stat") ? "=" + QString::fromUtf8(m.payload) : QString()));
        }
    }
    EXPECT_EQ(lines(order), lines({"status=online", "state=stopped", "channels", "state=running", "values",
                                    "health/station/01", "state=stopped", "status=offline"}));
    const QJsonObject list = json(everything.messages("plant/line1/channels")[0].payload);
    EXPECT_EQ(list.value("title").toString(), "Kiln \"A\"");
    EXPECT_EQ(list.value("sampling_ms").toInt(), 1000);
    const QJsonArray channels = list.value("channels").toArray();
    ASSERT_EQ(channels.size(), 3);
    EXPECT_EQ(channels[0].toObject(),
              QJsonObject({{"topic", "plant/line1/01/0001"}, {"caption", "Zone 1 \"상부\""}, {"addr", "01"}, {"reg", "0001"},
                           {"dot", 1}, {"max", 1200}, {"min", -100}, {"color", "#ff0000"}}));
    const QJsonObject health = json(everything.messages("plant/line1/health/station/01")[0].payload);
    EXPECT_EQ(health.value("requests").toInt(), 20);
    EXPECT_EQ(health.value("last_ms").toInt(), 42);
}

TEST(MqttPublisher, MessagesQueuedDuringAnOutageArriveInOrderAfterIt)
{
    TestBroker broker(persistent());
    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    TestSubscriber subscriber(broker, "plant/+/+", "kelo-outage-sub");
    ASSERT_TRUE(subscriber.start());

    auto publisher = running(MqttSettings{broker.url("plant"), {}, {}, {}, {}, {}});
    StateLog log(*publisher);
    publisher->start();
    ASSERT_TRUE(log.waitFor(State::Connected));
    auto arrived = [&] { return firstArrivals(subscriber.messages("plant/01/0001")); };

    int i = 0;
    for (; i < 10; ++i) {
        publisher->publishSample(kStart.addSecs(i), {counter(i)});
        QTest::qWait(20);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return arrived().size() == 10; }, 10000));
    // The broker keeps the subscriber's session in its store, then hangs: what
    // follows is sent and never acknowledged, or waits in the queue, when it dies.
    ASSERT_TRUE(broker.saveSessions());
    broker.pause();
    for (; i < 400; ++i)
        publisher->publishSample(kStart.addSecs(i), {counter(i)});
    QTest::qWait(300);
    EXPECT_GT(publisher->counters().inFlight, 0);
    broker.kill();
    ASSERT_TRUE(log.waitFor(State::Away));
    // Several seconds away; the sampling goes on and every call returns at once.
    for (; i < 460; ++i) {
        publisher->publishSample(kStart.addSecs(i), {counter(i)});
        QTest::qWait(50);
    }
    EXPECT_GE(publisher->counters().queued, 60);
    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    for (; i < 480; ++i) {
        publisher->publishSample(kStart.addSecs(i), {counter(i)});
        QTest::qWait(50);
    }

    ASSERT_TRUE(QTest::qWaitFor([&] { return arrived().size() >= 480; }, 60000))
        << arrived().size() << " queued " << publisher->counters().queued << " in flight "
        << publisher->counters().inFlight << "\n" << broker.log().toStdString();
    EXPECT_EQ(arrived(), range(0, 480));
    EXPECT_EQ(log.states(), QList<State>({State::Connecting, State::Connected, State::Away, State::Connected}));
    EXPECT_TRUE(log.changes[2].second.contains("연결이 끊겼습니다")) << log.changes[2].second.toStdString();
    EXPECT_EQ(publisher->counters().dropped, 0);
}

// mqtts:// without a CA file checks the broker against the system's CAs (the
// test's CA, through SSL_CERT_FILE), and reconnects as a CA file does.
TEST(MqttPublisher, TlsWithTheSystemsCasReconnectsAfterTheBrokerRestarts)
{
    TestBroker::Options options = persistent();
    options.tls = true;
    TestBroker broker(options);
    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    TestSubscriber subscriber(broker, "tls/+/+", "kelo-tls-sub");
    ASSERT_TRUE(subscriber.start());
    const QByteArray saved = qgetenv("SSL_CERT_FILE");
    qputenv("SSL_CERT_FILE", broker.caFile().toLocal8Bit());
    struct Restore {
        QByteArray value;
        ~Restore()
        {
            if (value.isEmpty())
                qunsetenv("SSL_CERT_FILE");
            else
                qputenv("SSL_CERT_FILE", value);
        }
    } restore{saved};

    auto publisher = running(MqttSettings{broker.url("tls"), {}, {}, {}, {}, {}});
    StateLog log(*publisher);
    publisher->start();
    ASSERT_TRUE(log.waitFor(State::Connected)) << log.changes.last().second.toStdString();
    int i = 0;
    for (; i < 5; ++i)
        publisher->publishSample(kStart.addSecs(i), {counter(i)});
    ASSERT_TRUE(subscriber.waitFor(5, 10000));
    broker.stop();
    ASSERT_TRUE(log.waitFor(State::Away));
    for (; i < 10; ++i)
        publisher->publishSample(kStart.addSecs(i), {counter(i)});
    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    ASSERT_TRUE(log.waitFor(State::Connected, 30000)) << log.changes.last().second.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return firstArrivals(subscriber.messages()).size() >= 10; }, 15000));
    EXPECT_EQ(firstArrivals(subscriber.messages()), range(0, 10));
    // Each change once: nothing but the loss and the return in between.
    EXPECT_EQ(log.states(), QList<State>({State::Connecting, State::Connected, State::Away, State::Connected}));
}

TEST(MqttPublisher, OldestMessagesAreDroppedAndCountedBeyondTheQueueBound)
{
    TestBroker broker(persistent());
    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    TestSubscriber subscriber(broker, "plant/+/+", "kelo-bound-sub");
    ASSERT_TRUE(subscriber.start());
    broker.stop(); // the subscriber's session waits in the broker's store

    MqttPublisher publisher(MqttEndpoint::fromSettings({broker.url("plant"), {}, {}, {}, {}, {}}), nullptr, 50);
    ASSERT_EQ(publisher.beginRun(kCounterSet), ""); // the list and "running", then 80 values
    StateLog log(publisher);
    publisher.start();
    for (int i = 0; i < 80; ++i)
        publisher.publishSample(kStart.addSecs(i), {counter(i)});
    EXPECT_EQ(publisher.counters().dropped, 32);
    EXPECT_EQ(publisher.counters().queued, 50);
    ASSERT_TRUE(log.waitFor(State::Away));

    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    ASSERT_TRUE(log.waitFor(State::Connected, 30000));
    EXPECT_TRUE(log.changes.last().second.contains("오래된 메시지 32개를 버렸습니다")) << log.changes.last().second.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return firstArrivals(subscriber.messages("plant/01/0001")).size() >= 50; }, 30000));
    EXPECT_EQ(firstArrivals(subscriber.messages("plant/01/0001")), range(30, 80));
}

TEST(MqttPublisher, RefusalsGiveAClearMessageOnceAndPublishingGoesOn)
{
    struct Case {
        const char* name;
        bool tls;
        const char* password;   // written to the password file; null: no user
        bool otherCa;
        State state;
        const char* messagePart;
    };
    const Case cases[] = {
        {"wrong password", false, "wrong", false, State::Refused, "사용자 이름 또는 비밀번호"},
        {"no user", false, nullptr, false, State::Refused, "사용자 이름 또는 비밀번호"},
        {"wrong CA", true, "right", true, State::Refused, "TLS 연결을 맺을 수 없습니다"},
        {"right CA and password", true, "right", false, State::Connected, "MQTT 브로커에 연결됨"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestBroker::Options options;
        options.user = "line1";
        options.password = "right";
        options.tls = c.tls;
        TestBroker broker(options);
        ASSERT_TRUE(broker.start()) << broker.error().toStdString();
        MqttSettings settings{broker.url("plant"), {}, {}, {}, {}, {}};
        if (c.password) {
            settings.user = "line1";
            settings.passwordFile = broker.dir() + "/client.pass";
            writeBytes(settings.passwordFile, QByteArray(c.password) + "\n");
        }
        if (c.tls)
            settings.caFile = c.otherCa ? broker.otherCaFile() : broker.caFile();

        auto publisher = running(settings);
        StateLog log(*publisher);
        publisher->start();
        publisher->publishSample(kStart, {counter(1)});
        ASSERT_TRUE(log.waitFor(c.state));
        const QString message = log.changes.last().second;
        EXPECT_TRUE(message.contains(QString::fromUtf8(c.messagePart))) << message.toStdString();
        EXPECT_TRUE(message.contains(broker.url("plant"))) << message.toStdString();
        if (c.otherCa) {
            EXPECT_TRUE(message.contains(broker.otherCaFile())) << message.toStdString();
        }
        if (c.state == State::Refused) {
            QTest::qWait(1800); // two more attempts, no new report
            EXPECT_EQ(log.states(), QList<State>({State::Connecting, State::Refused}));
            const qint64 queued = publisher->counters().queued;
            publisher->publishSample(kStart.addSecs(1), {counter(2)});
            EXPECT_EQ(publisher->counters().queued, queued + 1);
        }
    }
}

TEST(MqttPublisher, LastWillMarksTheStatusOfflineWhenThePublisherDies)
{
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    TestSubscriber subscriber(broker, "probe/status");
    ASSERT_TRUE(subscriber.start());

    QProcess probe;
    probe.start(KELO_MQTT_PROBE, {broker.url("probe")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return probe.readAllStandardOutput().contains("connected"); }, 15000));
    ASSERT_TRUE(subscriber.waitFor(1, 10000));
    probe.kill();
    probe.waitForFinished();
    ASSERT_TRUE(subscriber.waitFor(2, 15000));
    EXPECT_EQ(lines(payloads(subscriber.messages())), "online\noffline");
}

TEST(MqttPublisher, PublishingNeverWaitsForABrokerThatDoesNotAnswer)
{
    // A port that completes the TCP handshake and then stays silent.
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &size), 0);

    {
        ChannelSet set{"Thirty", "1000", {}};
        for (int c = 0; c < 30; ++c)
            set.channels.append(channel(QString::number(c + 10)));
        auto publisher = running(MqttSettings{QStringLiteral("mqtt://127.0.0.1:%1/plant").arg(ntohs(address.sin_port)), {}, {}, {}, {}, {}}, set);
        StateLog log(*publisher);
        publisher->start();
        const qint64 before = publisher->counters().queued;
        const QList<SampleValue> values(30, counter(1));
        for (int i = 0; i < 1000; ++i)
            publisher->publishSample(kStart.addSecs(i), values);
        EXPECT_EQ(publisher->counters().queued - before, 30000);
        QTest::qWait(200);
        EXPECT_EQ(log.states(), QList<State>({State::Connecting}));
    }
    ::close(silent);
}

// Two runs, as two kelorec processes one after the other: the second's set
// has lost a channel. Its value topic and its discovery config are cleared;
// what a new subscriber finds retained is the second set alone.
TEST(MqttPublisher, WhatLeavesTheSetIsClearedAndDiscoveryConfigsAreHomeAssistants)
{
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    const MqttSettings settings{broker.url("plant/line1"), {}, {}, {}, "homeassistant", "°C"};
    // The same register twice (two scalings): two topics by the documented rule.
    const ChannelSet first{"Kiln", "1000", {channel("01", "Zone 1", "0001", "1"), channel("01", "Zone 1 raw"),
                                            channel("02", "Zone 2")}};
    const ChannelSet second{"Kiln", "1000", {channel("01", "Zone 1", "0001", "1"), channel("02", "Zone 2")}};
    for (const ChannelSet* set : {&first, &second}) {
        auto publisher = running(settings, *set);
        publisher->start();
        publisher->publishSample(kStart, QList<SampleValue>(set->channels.size(), counter(7)));
        publisher->endRun();
        ASSERT_TRUE(QTest::qWaitFor([&] { return publisher->state() == State::Connected; }, 10000));
        QTest::qWait(300); // the broker's old list is read and acted on
        ASSERT_TRUE(publisher->flush(10000));
    }

    TestSubscriber retained(broker, "#");
    ASSERT_TRUE(retained.start());
    ASSERT_TRUE(retained.waitFor(7, 10000)) << lines(topics(retained.messages()));
    QTest::qWait(300);
    QStringList found = topics(retained.messages());
    found.sort();
    const QString config1 = MqttTopics::discoveryConfig("homeassistant", "plant/line1/01/0001");
    EXPECT_TRUE(config1.startsWith("homeassistant/sensor/plant_line1_01_0001_")) << config1.toStdString();
    EXPECT_EQ(lines(found), lines({config1, MqttTopics::discoveryConfig("homeassistant", "plant/line1/02/0001"),
                                   "plant/line1/01/0001", "plant/line1/02/0001", "plant/line1/channels",
                                   "plant/line1/state", "plant/line1/status"}));

    // The config as Home Assistant's MQTT sensor documents it.
    const QJsonObject config = json(retained.messages(config1)[0].payload);
    QStringList keys = config.keys();
    EXPECT_EQ(lines(keys), lines({"availability_topic", "device", "name", "payload_available", "payload_not_available",
                                  "state_class", "state_topic", "suggested_display_precision", "unique_id",
                                  "unit_of_measurement", "value_template"}));
    EXPECT_EQ(config.value("name").toString(), "Zone 1");
    EXPECT_EQ(config.value("state_topic").toString(), "plant/line1/01/0001");
    EXPECT_EQ(config.value("availability_topic").toString(), "plant/line1/status");
    EXPECT_EQ(config.value("value_template").toString(), "{{ value_json.value }}");
    EXPECT_EQ(config.value("unique_id").toString(), "kelo_" + MqttTopics::objectId("plant/line1/01/0001"));
    EXPECT_EQ(config.value("suggested_display_precision").toInt(), 1);
    EXPECT_EQ(config.value("unit_of_measurement").toString(), "°C");
    const QJsonObject device = config.value("device").toObject();
    EXPECT_EQ(device.value("name").toString(), "Kiln");
    EXPECT_EQ(device.value("identifiers").toArray().size(), 1);
}
