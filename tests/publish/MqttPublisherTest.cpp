#include "TestBroker.h"
#include "publish/MqttPublisher.h"
#include "tests/support/Files.h"

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

PublishedChannel counter(int i)
{
    return {"01", "0001", "Zone", "0", double(i), QString::number(i), true};
}

// The values of the counter messages in order of first arrival, and how many
// arrived (QoS 1 may deliver one twice across a broken connection).
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

// Value messages only: not status, not health.
QList<TestSubscriber::Message> valuesOnly(const QList<TestSubscriber::Message>& messages)
{
    QList<TestSubscriber::Message> values;
    for (const auto& m : messages) {
        if (!m.topic.contains("/health/") && !m.topic.endsWith("/status"))
            values.append(m);
    }
    return values;
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

} // namespace

TEST(MqttPublisher, SubscriberReceivesEveryValueInOrderWithItsPayload)
{
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    TestSubscriber subscriber(broker, "plant/#");
    ASSERT_TRUE(subscriber.start());

    QList<PublishedChannel> channels = {
        {"01", "0001", "Zone 1 \"상부\"", "1", 123.4, "123.4", true},
        {"02", "0101", "하부/가열", "0", 1234, "1,234", true},
        {"03", "0001", "Spare", "1", std::nullopt, "0", false},
    };
    QStringList expectedTopics, expectedPayloads;
    {
        MqttPublisher publisher(MqttSettings{broker.url("plant/line1"), {}, {}, {}});
        StateLog log(publisher);
        publisher.start();
        for (int i = 0; i < 20; ++i) {
            channels[0].value = 123.4 + i;
            channels[0].text = QString::number(123.4 + i, 'f', 1);
            publisher.publishSample(kStart.addSecs(i), channels);
            for (const PublishedChannel& c : channels) {
                expectedTopics.append(QString::fromUtf8(MqttPublisher::valueTopic("plant/line1", c.addr, c.reg)));
                expectedPayloads.append(QString::fromUtf8(MqttPublisher::valuePayload(kStart.addSecs(i), c)));
            }
        }
        publisher.busHealth().request("01", 5000);
        publisher.busHealth().reply("01", true, 5042);
        publisher.publishHealth();

        ASSERT_TRUE(QTest::qWaitFor([&] { return valuesOnly(subscriber.messages()).size() >= 60; }, 15000));
        ASSERT_TRUE(subscriber.waitFor(1, 15000, "plant/line1/health/01"));
        EXPECT_EQ(log.states(), QList<State>({State::Connecting, State::Connected}));
        EXPECT_TRUE(publisher.toolTipText().contains("MQTT 브로커에 연결됨: " + broker.url("plant/line1")))
            << publisher.toolTipText().toStdString();
    }

    const auto values = valuesOnly(subscriber.messages());
    QStringList topics;
    for (const auto& m : values)
        topics.append(m.topic);
    EXPECT_EQ(lines(topics), lines(expectedTopics));
    EXPECT_EQ(lines(payloads(values)), lines(expectedPayloads));
    EXPECT_EQ(lines(topics.mid(0, 3)), "plant/line1/01/0001\nplant/line1/02/0101\nplant/line1/03/0001");

    const QJsonObject first = QJsonDocument::fromJson(values[0].payload).object();
    EXPECT_EQ(first.value("time").toString(), "2024-05-02T14:03:00.000+09:00");
    EXPECT_DOUBLE_EQ(first.value("value").toDouble(), 123.4);
    EXPECT_EQ(values[0].payload.mid(values[0].payload.indexOf("\"value\":"), 14), "\"value\":123.4,");
    EXPECT_EQ(first.value("text").toString(), "123.4");
    EXPECT_EQ(first.value("caption").toString(), "Zone 1 \"상부\"");
    EXPECT_EQ(first.value("unit_dot").toInt(-1), 1);
    EXPECT_EQ(first.value("ok").toBool(false), true);
    const QJsonObject spare = QJsonDocument::fromJson(values[2].payload).object();
    EXPECT_TRUE(spare.value("value").isNull());
    EXPECT_EQ(spare.value("ok").toBool(true), false);
    EXPECT_EQ(QJsonDocument::fromJson(values[1].payload).object().value("text").toString(), "1,234");

    const QJsonObject health = QJsonDocument::fromJson(subscriber.messages("plant/line1/health/01")[0].payload).object();
    EXPECT_EQ(health.value("requests").toInt(), 1);
    EXPECT_EQ(health.value("ok").toInt(), 1);
    EXPECT_EQ(health.value("last_ms").toInt(), 42);

    // online while connected; the orderly end says offline.
    ASSERT_TRUE(subscriber.waitFor(2, 10000, "plant/line1/status"));
    EXPECT_EQ(lines(payloads(subscriber.messages("plant/line1/status"))), "online\noffline");
}

TEST(MqttPublisher, MessagesQueuedDuringAnOutageArriveInOrderAfterIt)
{
    TestBroker broker(persistent());
    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    TestSubscriber subscriber(broker, "plant/#", "kelo-outage-sub");
    ASSERT_TRUE(subscriber.start());

    MqttPublisher publisher(MqttSettings{broker.url("plant"), {}, {}, {}});
    StateLog log(publisher);
    publisher.start();
    ASSERT_TRUE(log.waitFor(State::Connected));
    auto arrived = [&] { return firstArrivals(subscriber.messages("plant/01/0001")); };

    int i = 0;
    for (; i < 10; ++i) {
        publisher.publishSample(kStart.addSecs(i), {counter(i)});
        QTest::qWait(20);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return arrived().size() == 10; }, 10000));
    // The broker keeps the subscriber's session in its store, then hangs: what
    // follows is sent and never acknowledged, or waits in the queue, when it dies.
    ASSERT_TRUE(broker.saveSessions());
    broker.pause();
    for (; i < 400; ++i)
        publisher.publishSample(kStart.addSecs(i), {counter(i)});
    QTest::qWait(300);
    EXPECT_GT(publisher.counters().inFlight, 0);
    broker.kill();
    ASSERT_TRUE(log.waitFor(State::Away));
    // Several seconds away; the sampling goes on and every call returns at once.
    for (; i < 460; ++i) {
        publisher.publishSample(kStart.addSecs(i), {counter(i)});
        QTest::qWait(50);
    }
    EXPECT_GE(publisher.counters().queued, 300);
    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    for (; i < 480; ++i) {
        publisher.publishSample(kStart.addSecs(i), {counter(i)});
        QTest::qWait(50);
    }

    ASSERT_TRUE(QTest::qWaitFor([&] { return arrived().size() >= 480; }, 60000))
        << arrived().size() << " queued " << publisher.counters().queued << " in flight "
        << publisher.counters().inFlight << "\n" << broker.log().toStdString() << [&] {
               std::string all;
               for (const auto& m : subscriber.messages())
                   all += m.topic.toStdString() + " " + m.payload.left(60).toStdString() + "\n";
               return all;
           }();
    EXPECT_EQ(arrived(), range(0, 480));
    EXPECT_EQ(log.states(), QList<State>({State::Connecting, State::Connected, State::Away, State::Connected}));
    EXPECT_TRUE(log.changes[2].second.contains("연결이 끊겼습니다")) << log.changes[2].second.toStdString();
    EXPECT_EQ(publisher.counters().dropped, 0);
}

TEST(MqttPublisher, OldestMessagesAreDroppedAndCountedBeyondTheQueueBound)
{
    TestBroker broker(persistent());
    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    TestSubscriber subscriber(broker, "plant/#", "kelo-bound-sub");
    ASSERT_TRUE(subscriber.start());
    broker.stop(); // the subscriber's session waits in the broker's store

    MqttPublisher publisher(MqttEndpoint::fromSettings({broker.url("plant"), {}, {}, {}}), nullptr, 50);
    StateLog log(publisher);
    publisher.start();
    for (int i = 0; i < 80; ++i)
        publisher.publishSample(kStart.addSecs(i), {counter(i)});
    EXPECT_EQ(publisher.counters().dropped, 30);
    EXPECT_EQ(publisher.counters().queued, 50);
    ASSERT_TRUE(log.waitFor(State::Away));

    ASSERT_TRUE(broker.start()) << broker.error().toStdString();
    ASSERT_TRUE(log.waitFor(State::Connected, 30000));
    EXPECT_TRUE(log.changes.last().second.contains("오래된 메시지 30개를 버렸습니다")) << log.changes.last().second.toStdString();
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
        MqttSettings settings{broker.url("plant"), {}, {}, {}};
        if (c.password) {
            settings.user = "line1";
            settings.passwordFile = broker.dir() + "/client.pass";
            writeBytes(settings.passwordFile, QByteArray(c.password) + "\n");
        }
        if (c.tls)
            settings.caFile = c.otherCa ? broker.otherCaFile() : broker.caFile();

        MqttPublisher publisher(settings);
        StateLog log(publisher);
        publisher.start();
        publisher.publishSample(kStart, {counter(1)});
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
            publisher.publishSample(kStart.addSecs(1), {counter(2)});
            EXPECT_EQ(publisher.counters().queued, 2);
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
        MqttPublisher publisher(MqttSettings{QStringLiteral("mqtt://127.0.0.1:%1/plant").arg(ntohs(address.sin_port)), {}, {}, {}});
        StateLog log(publisher);
        publisher.start();
        QList<PublishedChannel> channels;
        for (int c = 0; c < 30; ++c)
            channels.append(counter(c));
        for (int i = 0; i < 1000; ++i)
            publisher.publishSample(kStart.addSecs(i), channels);
        EXPECT_EQ(publisher.counters().queued, 30000);
        QTest::qWait(200);
        EXPECT_EQ(log.states(), QList<State>({State::Connecting}));
    }
    ::close(silent);
}
