#pragma once
#include "alarms/AlarmTypes.h"
#include "monitoring/ChannelSet.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class AlarmBook;
class AlarmFeed;
class MqttPublisher;

// Alarm states at the broker, retained (QoS 1), JSON:
//   <prefix>/alarms/<Addr>/<Reg>                         a channel's High/Low alarm
//   <prefix>/alarms/system/<kind>                        link_lost, record_failing, broker_away
//   <prefix>/alarms/system/channel_lost/<Addr>/<Reg>     a channel lost by the miss rule
//   {"time":"2026-12-10T04:20:00.000+09:00","kind":"high","state":"active_unacked",
//    "active":true,"priority":"alarm","value":851.2,"limit":850,"channel":1,
//    "caption":"Zone 1","detail":""}
// A returned and acknowledged alarm is published as "normal", never deleted,
// so a dashboard sees it return. A channel's High and Low share its topic:
// it tells the one that changed last, except that a return to normal while
// the other is still listed tells the other's state.
// With discovery on, each alarm has a Home Assistant binary_sensor (device
// class "problem") under <discovery>/binary_sensor/<object id>/config, in the
// device of the channels' sensors.
namespace MqttAlarmTopics {
[[nodiscard]] QString channelAlarm(const QString& prefix, const QString& valueTopic);
[[nodiscard]] QString channelLost(const QString& prefix, const QString& valueTopic);
[[nodiscard]] QString system(const QString& prefix, AlarmKind kind);
[[nodiscard]] QString discoveryConfig(const QString& discoveryPrefix, const QString& alarmTopic);
} // namespace MqttAlarmTopics

[[nodiscard]] QByteArray alarmPayload(const AlarmTransition& t, const QString& caption);

// Publishes a run's alarms: every alarm's state (and discovery config) when
// a run begins, then every change of the book; and tells the alarm feed when
// the broker comes and goes, for BrokerAway.
class MqttAlarmFeed : public QObject {
    Q_OBJECT
public:
    MqttAlarmFeed(AlarmFeed& feed, MqttPublisher& publisher, QObject* parent = nullptr);

    // After MqttPublisher::beginRun(set): the states as they stand, and the
    // configs with discovery on. Nothing while the publisher has no run.
    void beginRun(const ChannelSet& set);

private:
    void publish(const AlarmTransition& t);
    [[nodiscard]] QString topicOf(AlarmKey key) const;
    void publishConfig(const QString& topic, const QString& name);

    AlarmBook& m_book;
    MqttPublisher& m_publisher;
    QString m_title;
    QStringList m_channelTopics; // the value topics' tails (<Addr>/<Reg>), in the set's order
    QList<bool> m_limits;        // whether channel i + 1 has a limit
};
