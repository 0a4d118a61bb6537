// The scale-out path of the manual: each line publishes to a mosquitto on its
// own machine, which forwards to the plant broker with mosquitto's own bridge.
#include "TestBroker.h"
#include "publish/MqttPublisher.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// The bridge section of the line broker's mosquitto.conf, as README.md gives it.
QByteArray bridgeTo(quint16 plantPort, const QByteArray& lineTopic)
{
    return "connection plant\n"
           "address 127.0.0.1:" + QByteArray::number(plantPort) + "\n"
           "topic " + lineTopic + "/# out 1\n"
           "cleansession false\n"
           "bridge_protocol_version mqttv311\n"
           "restart_timeout 1 2\n"
           "keepalive_interval 5\n";
}

} // namespace

TEST(MqttBridge, ThePlantBrokerReceivesEveryValueInOrderThroughABridgeOutage)
{
    TestBroker::Options plantOptions;
    plantOptions.persistence = true; // its subscriber's and the bridge's sessions outlive its restart
    TestBroker plant(plantOptions);
    ASSERT_TRUE(plant.start()) << plant.error().toStdString();
    TestBroker::Options lineOptions;
    lineOptions.persistence = true;
    lineOptions.config = bridgeTo(plant.port(), "line1");
    TestBroker line(lineOptions);
    ASSERT_TRUE(line.start()) << line.error().toStdString();
    TestSubscriber historian(plant, "line1/+/+", "kelo-plant-historian");
    historian.skipRetained();
    ASSERT_TRUE(historian.start());

    MqttPublisher publisher(MqttSettings{line.url("line1"), {}, {}, {}, {}, {}});
    ASSERT_EQ(publisher.beginRun({"Line 1", "200", {{"01", "Zone", "0001", "0", "100", "0", "255"}}}), "");
    publisher.start();
    const QDateTime start(QDate(2024, 5, 2), QTime(14, 3, 0));
    int tick = 0;
    const auto sample = [&](int ms) {
        for (const qint64 until = QDateTime::currentMSecsSinceEpoch() + ms; QDateTime::currentMSecsSinceEpoch() < until;) {
            publisher.publishSample(start.addMSecs(200 * tick), {{double(tick), QString::number(tick)}});
            ++tick;
            QTest::qWait(200);
        }
    };
    sample(2000);
    ASSERT_TRUE(historian.waitFor(5, 60000)) << plant.log().toStdString() << line.log().toStdString();

    // 30 s without the plant broker; the line broker keeps what the bridge owes.
    plant.stop();
    sample(30000);
    ASSERT_TRUE(plant.start()) << plant.error().toStdString();
    sample(2000);

    const auto arrived = [&] {
        QList<int> values;
        for (const TestSubscriber::Message& m : historian.messages()) {
            const int v = QJsonDocument::fromJson(m.payload).object().value("seq").toInt() - 1;
            if (!values.contains(v))
                values.append(v); // QoS 1 may bring one twice around the outage
        }
        return values;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return arrived().size() >= tick; }, 90000))
        << arrived().size() << " of " << tick << "\n" << line.log().toStdString();
    QList<int> expected;
    for (int i = 0; i < tick; ++i)
        expected.append(i);
    EXPECT_EQ(arrived(), expected) << line.log().toStdString() << plant.log().toStdString();
    EXPECT_EQ(publisher.state(), MqttPublisher::State::Connected) << "the line broker never went away";
}
