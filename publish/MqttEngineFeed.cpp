#include "publish/MqttEngineFeed.h"

#include "monitoring/MonitoringEngine.h"
#include "publish/MqttPublisher.h"


void feedPublisher(MonitoringEngine& engine, MqttPublisher& publisher)
{
    QObject::connect(&engine, &MonitoringEngine::sampleRecorded, &publisher, [&engine, &publisher](const QDateTime& t) {
        // A channel without a value (not answered since Start, or zeroed by
        // the miss rule) has no measurement, whatever its cell shows.
        QList<SampleValue> values;
        values.reserve(engine.channelCount());
        for (int c = 1; c <= engine.channelCount(); ++c)
            values.append(SampleValue{engine.value(c), engine.valueText(c)});
        publisher.publishSample(t, values);
    });
    QObject::connect(&engine, &MonitoringEngine::requestSent, &publisher, [&engine, &publisher](int c, const QByteArray&) {
        publisher.busHealth().request(engine.channel(c).Addr);
    });
    // Timed as the engine timed the exchange, on its steady clock.
    QObject::connect(&engine, &MonitoringEngine::exchangeEnded, &publisher,
                     [&engine, &publisher](int c, MonitoringEngine::Outcome outcome, qint64 responseMs) {
                         const QString& addr = engine.channel(c).Addr;
                         if (outcome == MonitoringEngine::Outcome::Missed)
                             publisher.busHealth().miss(addr);
                         else
                             publisher.busHealth().reply(addr, outcome == MonitoringEngine::Outcome::Ok, responseMs);
                     });
    QObject::connect(&engine, &MonitoringEngine::pollSkipped, &publisher,
                     [&engine, &publisher](int c) { publisher.busHealth().skipped(engine.channel(c).Addr); });
    // A dropped reply counts against the address it came from (characters 2 and 3).
    QObject::connect(&engine, &MonitoringEngine::replyDropped, &publisher, [&publisher](const QByteArray& frame) {
        publisher.busHealth().dropped(QString::fromLatin1(frame.mid(1, 2)));
    });
}

ChannelSet publishedSet(const MonitoringEngine& engine, const QString& title, int samplingMs)
{
    ChannelSet set{title, QString::number(samplingMs), {}};
    for (int c = 1; c <= engine.channelCount(); ++c)
        set.channels.append(engine.channel(c));
    return set;
}
