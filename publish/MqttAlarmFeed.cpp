#include "publish/MqttAlarmFeed.h"

#include "alarms/AlarmBook.h"
#include "alarms/AlarmFeed.h"
#include "alarms/AlarmText.h"
#include "publish/MqttJson.h"
#include "publish/MqttPublisher.h"
#include "publish/MqttTopics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace MqttAlarmTopics {

QString channelAlarm(const QString& prefix, const QString& valueTopic)
{
    return prefix + QStringLiteral("/alarms/") + valueTopic.mid(prefix.size() + 1);
}

QString channelLost(const QString& prefix, const QString& valueTopic)
{
    return prefix + QStringLiteral("/alarms/system/channel_lost/") + valueTopic.mid(prefix.size() + 1);
}

QString system(const QString& prefix, AlarmKind kind)
{
    return prefix + QStringLiteral("/alarms/system/") + alarmKindName(kind);
}

QString discoveryConfig(const QString& discoveryPrefix, const QString& alarmTopic)
{
    return discoveryPrefix + QStringLiteral("/binary_sensor/") + MqttTopics::objectId(alarmTopic)
           + QStringLiteral("/config");
}

} // namespace MqttAlarmTopics

QByteArray alarmPayload(const AlarmTransition& t, const QString& caption)
{
    QByteArray json = "{\"time\":";
    appendJsonString(json, isoTimeWithOffset(t.time));
    json += ",\"kind\":\"" + alarmKindName(t.key.kind).toLatin1() + '"';
    json += ",\"state\":\"" + alarmStateName(t.state).toLatin1() + '"';
    json += isActive(t.state) ? ",\"active\":true" : ",\"active\":false";
    json += ",\"priority\":\"" + alarmPriorityName(t.priority).toLatin1() + '"';
    const auto number = [&json](const char* name, const std::optional<double>& v) {
        json += ",\"";
        json += name;
        json += "\":";
        if (v)
            appendJsonNumber(json, *v);
        else
            json += "null";
    };
    number("value", t.value);
    number("limit", t.limit);
    json += ",\"channel\":" + QByteArray::number(t.key.channel);
    json += ",\"caption\":";
    appendJsonString(json, caption);
    json += ",\"detail\":";
    appendJsonString(json, t.detail);
    json += '}';
    return json;
}

MqttAlarmFeed::MqttAlarmFeed(AlarmFeed& feed, MqttPublisher& publisher, QObject* parent)
    : QObject(parent), m_book(feed.book()), m_publisher(publisher)
{
    connect(&m_book, &AlarmBook::changed, this, &MqttAlarmFeed::publish);
    // The broker's absence is an alarm of its own once it lasts.
    feed.setPublishing(true);
    feed.setBrokerConnected(publisher.state() == MqttPublisher::State::Connected);
    connect(&publisher, &MqttPublisher::stateChanged, &feed, [&feed](MqttPublisher::State state, const QString&) {
        feed.setBrokerConnected(state == MqttPublisher::State::Connected);
    });
    connect(&publisher, &QObject::destroyed, &feed, [&feed] { feed.setPublishing(false); });
}

void MqttAlarmFeed::beginRun(const ChannelSet& set)
{
    m_channelTopics = m_publisher.running() ? m_publisher.valueTopics() : QStringList();
    if (m_channelTopics.isEmpty())
        return;
    m_title = set.Title;
    const QString& prefix = m_publisher.endpoint().prefix;
    const bool discovery = !m_publisher.endpoint().discovery.isEmpty();
    m_limits.clear();
    for (qsizetype i = 0; i < m_channelTopics.size(); ++i)
        m_limits.append(i < m_book.settings().channels.size() && m_book.settings().channels[i].any());
    for (int c = 1; c <= m_channelTopics.size(); ++c) {
        const QString& value = m_channelTopics[c - 1];
        const QString caption = set.channels.value(c - 1).Caption;
        if (m_limits[c - 1]) {
            if (discovery)
                publishConfig(MqttAlarmTopics::channelAlarm(prefix, value), caption + QStringLiteral(" alarm"));
            const AlarmTransition hi = m_book.last({c, AlarmKind::High});
            const AlarmTransition lo = m_book.last({c, AlarmKind::Low});
            AlarmTransition now = hi.state == AlarmState::Normal && lo.state != AlarmState::Normal ? lo : hi;
            if (!now.time.isValid())
                now.time = QDateTime::currentDateTime();
            m_publisher.publishRetained(MqttAlarmTopics::channelAlarm(prefix, value), alarmPayload(now, caption));
        } else {
            // A limit taken away leaves no alarm state behind at the broker.
            m_publisher.publishRetained(MqttAlarmTopics::channelAlarm(prefix, value), {});
            if (discovery)
                m_publisher.publishRetained(MqttAlarmTopics::discoveryConfig(m_publisher.endpoint().discovery,
                                                                             MqttAlarmTopics::channelAlarm(prefix, value)),
                                            {});
        }
        if (discovery)
            publishConfig(MqttAlarmTopics::channelLost(prefix, value), caption + QStringLiteral(" lost"));
        AlarmTransition lost = m_book.last({c, AlarmKind::ChannelLost});
        if (!lost.time.isValid())
            lost.time = QDateTime::currentDateTime();
        m_publisher.publishRetained(MqttAlarmTopics::channelLost(prefix, value), alarmPayload(lost, caption));
    }
    for (AlarmKind kind : {AlarmKind::LinkLost, AlarmKind::RecordFailing, AlarmKind::BrokerAway}) {
        const QString topic = MqttAlarmTopics::system(prefix, kind);
        if (discovery)
            publishConfig(topic, alarmKindName(kind));
        AlarmTransition t = m_book.last({0, kind});
        if (!t.time.isValid())
            t.time = QDateTime::currentDateTime();
        m_publisher.publishRetained(topic, alarmPayload(t, {}));
    }
}

QString MqttAlarmFeed::topicOf(AlarmKey key) const
{
    const QString& prefix = m_publisher.endpoint().prefix;
    if (!isLimitAlarm(key.kind) && key.kind != AlarmKind::ChannelLost)
        return MqttAlarmTopics::system(prefix, key.kind);
    if (key.channel < 1 || key.channel > m_channelTopics.size())
        return {};
    const QString& value = m_channelTopics[key.channel - 1];
    return key.kind == AlarmKind::ChannelLost ? MqttAlarmTopics::channelLost(prefix, value)
                                              : MqttAlarmTopics::channelAlarm(prefix, value);
}

void MqttAlarmFeed::publish(const AlarmTransition& t)
{
    if (!m_publisher.running() || m_channelTopics.isEmpty())
        return;
    const QString topic = topicOf(t.key);
    if (topic.isEmpty())
        return;
    AlarmTransition told = t;
    if (isLimitAlarm(t.key.kind) && t.state == AlarmState::Normal) {
        // The channel's topic stays on the other limit while that is listed.
        const AlarmKey other{t.key.channel, t.key.kind == AlarmKind::High ? AlarmKind::Low : AlarmKind::High};
        if (m_book.state(other) != AlarmState::Normal)
            told = m_book.last(other);
    }
    m_publisher.publishRetained(topic, alarmPayload(told, m_book.caption(t.key.channel)));
}

void MqttAlarmFeed::publishConfig(const QString& topic, const QString& name)
{
    const QString& prefix = m_publisher.endpoint().prefix;
    const QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{QStringLiteral("kelo_") + MqttTopics::objectId(prefix)}},
        {QStringLiteral("name"), m_title.isEmpty() ? prefix : m_title},
        {QStringLiteral("manufacturer"), QStringLiteral("kelomon")},
        {QStringLiteral("model"), QStringLiteral("temperature controller line")},
    };
    const QJsonObject config{
        {QStringLiteral("name"), name},
        {QStringLiteral("unique_id"), QStringLiteral("kelo_") + MqttTopics::objectId(topic)},
        {QStringLiteral("state_topic"), topic},
        {QStringLiteral("value_template"), QStringLiteral("{{ 'ON' if value_json.active else 'OFF' }}")},
        {QStringLiteral("payload_on"), QStringLiteral("ON")},
        {QStringLiteral("payload_off"), QStringLiteral("OFF")},
        {QStringLiteral("device_class"), QStringLiteral("problem")},
        {QStringLiteral("json_attributes_topic"), topic},
        {QStringLiteral("availability_topic"), MqttTopics::status(prefix)},
        {QStringLiteral("payload_available"), QStringLiteral("online")},
        {QStringLiteral("payload_not_available"), QStringLiteral("offline")},
        {QStringLiteral("device"), device},
    };
    m_publisher.publishRetained(MqttAlarmTopics::discoveryConfig(m_publisher.endpoint().discovery, topic),
                                QJsonDocument(config).toJson(QJsonDocument::Compact));
}
