#include "recorder/MqttEngineFeed.h"

#include "monitoring/MonitoringEngine.h"
#include "recorder/MqttPublisher.h"

#include <QElapsedTimer>
#include <memory>

void feedPublisher(MonitoringEngine& engine, MqttPublisher& publisher)
{
    QObject::connect(&engine, &MonitoringEngine::sampleTaken, &publisher, [&engine, &publisher](const QDateTime& t) {
        QList<PublishedChannel> channels;
        channels.reserve(engine.channelCount());
        for (int c = 1; c <= engine.channelCount(); ++c) {
            const ChannelDef& d = engine.channel(c);
            channels.append(PublishedChannel{d.Addr, d.Reg, d.Caption, d.Dot, engine.value(c), engine.valueText(c),
                                             !engine.lost(c)});
        }
        publisher.publishSample(t, channels);
    });
    // Response times on one steady clock, whatever the wall clock does.
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(&engine, &MonitoringEngine::requestSent, &publisher,
                     [&engine, &publisher, clock](int c, const QByteArray&) {
                         publisher.busHealth().request(engine.channel(c).Addr, clock->elapsed());
                     });
    QObject::connect(&engine, &MonitoringEngine::exchangeEnded, &publisher,
                     [&engine, &publisher, clock](int c, MonitoringEngine::Outcome outcome, qint64) {
                         const QString& addr = engine.channel(c).Addr;
                         if (outcome == MonitoringEngine::Outcome::Missed)
                             publisher.busHealth().miss(addr);
                         else
                             publisher.busHealth().reply(addr, outcome == MonitoringEngine::Outcome::Ok,
                                                         clock->elapsed());
                     });
    QObject::connect(&engine, &MonitoringEngine::pollSkipped, &publisher,
                     [&engine, &publisher](int c) { publisher.busHealth().skipped(engine.channel(c).Addr); });
    // A dropped reply counts against the address it came from (characters 2 and 3).
    QObject::connect(&engine, &MonitoringEngine::replyDropped, &publisher, [&publisher](const QByteArray& frame) {
        publisher.busHealth().dropped(QString::fromLatin1(frame.mid(1, 2)));
    });
}
