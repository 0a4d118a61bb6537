#include "publish/MqttPublisher.h"

#include "publish/MqttJson.h"
#include "publish/MqttLink.h"
#include "publish/MqttTopics.h"
#include "settings/Convert.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <thread>
#include <vector>

namespace {

QByteArray timeJson(const QDateTime& time)
{
    QByteArray json;
    appendJsonString(json, isoTimeWithOffset(time));
    return json;
}

int wholeOr(const QString& text, int fallback)
{
    return parseInt32(text.trimmed()).value_or(fallback);
}

// Colour = R + 256·G + 65536·B, as #rrggbb.
QString colourText(const QString& color)
{
    const int value = wholeOr(color, 0) & 0xFFFFFF;
    return QStringLiteral("#%1%2%3")
        .arg(value & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((value >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((value >> 16) & 0xFF, 2, 16, QLatin1Char('0'));
}

// A topic from a retained list is cleared only when it is one we could have
// published: under the prefix, two levels for a value, ".../config" for a
// discovery config, every level one the rules allow.
bool isValueTopicUnder(const QString& prefix, const QString& topic)
{
    if (!topic.startsWith(prefix + QLatin1Char('/')))
        return false;
    const QStringList levels = topic.mid(prefix.size() + 1).split(QLatin1Char('/'));
    return levels.size() == 2 && MqttTopics::levelProblem(levels[0]).isEmpty()
           && MqttTopics::levelProblem(levels[1]).isEmpty();
}

bool isDiscoveryConfig(const QString& topic)
{
    return topic.contains(QLatin1String("/sensor/")) && topic.endsWith(QLatin1String("/config"))
           && MqttTopics::prefixProblem(topic).isEmpty();
}

MqttPublisher::State stateOf(MqttLink::Event event)
{
    switch (event) {
    case MqttLink::Event::Connected:
        return MqttPublisher::State::Connected;
    case MqttLink::Event::Refused:
        return MqttPublisher::State::Refused;
    case MqttLink::Event::Away:
        break;
    }
    return MqttPublisher::State::Away;
}

} // namespace

MqttPublisher::MqttPublisher(const MqttSettings& settings, QObject* parent)
    : MqttPublisher(MqttEndpoint::fromSettings(settings), parent)
{
}

MqttPublisher::MqttPublisher(MqttEndpoint endpoint, QObject* parent, qsizetype queueLimit)
    : QObject(parent)
    , m_endpoint(std::move(endpoint))
{
    m_link = std::make_unique<MqttLink>(
        m_endpoint, queueLimit, kInFlightWindow, [this](MqttLink::Event event, const QString& detail) {
            // On the network thread: hand over to this object's thread.
            QMetaObject::invokeMethod(
                this, [this, event, detail] { reportState(stateOf(event), detail); }, Qt::QueuedConnection);
        });
    m_link->readRetainedFirst(MqttTopics::channels(m_endpoint.prefix).toUtf8(), [this](const QByteArray& payload) {
        QMetaObject::invokeMethod(this, [this, payload] { adoptBrokerList(payload); }, Qt::QueuedConnection);
    });
    m_healthTimer.setInterval(kHealthIntervalMs);
    connect(&m_healthTimer, &QTimer::timeout, this, &MqttPublisher::publishHealth);
}

MqttPublisher::~MqttPublisher()
{
    if (m_running)
        endRun();
    if (m_link->connected()) {
        enqueue(MqttTopics::status(m_endpoint.prefix), QByteArrayLiteral("offline"));
        (void)m_link->waitDrained(kCloseWaitMs);
    }
    // Nothing reaches this object once it is gone.
    m_link->silence();
    m_link->requestStop();
    if (m_link->waitStopped(kCloseWaitMs))
        return; // joined at once by the link's destructor
    // The network thread may sit in a host-name lookup for as long as the
    // resolver takes; a thread of its own joins it and frees the link, so
    // the window closes now.
    std::thread([link = std::move(m_link)]() mutable { link.reset(); }).detach();
}

void MqttPublisher::start()
{
    if (m_state != State::Idle)
        return;
    reportState(State::Connecting, {});
    if (!m_running)
        enqueue(MqttTopics::state(m_endpoint.prefix), QByteArrayLiteral("stopped"));
    m_link->start();
}

void MqttPublisher::enqueue(const QString& topic, const QByteArray& payload)
{
    m_link->enqueue({{topic.toUtf8(), payload}});
}

QString MqttPublisher::setProblem(const ChannelSet& set) const
{
    try {
        (void)MqttTopics::channelTopics(m_endpoint.prefix, set.channels);
    } catch (const KeloError& e) {
        return e.text();
    }
    return {};
}

QString MqttPublisher::beginRun(const ChannelSet& set)
{
    if (m_running)
        endRun();
    Run run;
    try {
        run.topics = MqttTopics::channelTopics(m_endpoint.prefix, set.channels);
    } catch (const KeloError& e) {
        return e.text();
    }
    for (const ChannelDef& c : set.channels) {
        QByteArray tail = ",\"caption\":";
        appendJsonString(tail, c.Caption);
        // Dot is a number of decimal places; checked as a whole number when the set was read.
        tail += ",\"unit_dot\":";
        if (const auto dot = parseInt32(c.Dot.trimmed()))
            tail += QByteArray::number(*dot);
        else
            appendJsonString(tail, c.Dot);
        run.tails.append(tail);
    }
    for (const QString& topic : std::as_const(run.topics))
        run.topicBytes.append(topic.toUtf8());

    // What left the set is cleared first, then the new list goes out before any value.
    QSet<QString> values(run.topics.begin(), run.topics.end());
    QSet<QString> configs;
    if (!m_endpoint.discovery.isEmpty())
        for (const QString& topic : std::as_const(run.topics))
            configs.insert(MqttTopics::discoveryConfig(m_endpoint.discovery, topic));
    clearListed(m_listedValues - values, m_listedConfigs - configs);
    m_listedValues = values;
    m_listedConfigs = configs;
    m_listedByUs = true;
    m_run = std::move(run);

    enqueue(MqttTopics::channels(m_endpoint.prefix), channelList(set));
    if (!m_endpoint.discovery.isEmpty())
        for (int c = 0; c < set.channels.size(); ++c)
            enqueue(MqttTopics::discoveryConfig(m_endpoint.discovery, m_run.topics[c]), discoveryConfig(set, c));
    enqueue(MqttTopics::state(m_endpoint.prefix), QByteArrayLiteral("running"));
    m_health = BusHealth();
    m_seq = 0;
    m_running = true;
    m_healthTimer.start();
    return {};
}

void MqttPublisher::endRun()
{
    if (!m_running)
        return;
    publishHealth();
    m_healthTimer.stop();
    m_running = false;
    enqueue(MqttTopics::state(m_endpoint.prefix), QByteArrayLiteral("stopped"));
}

void MqttPublisher::clearListed(const QSet<QString>& values, const QSet<QString>& configs)
{
    std::vector<MqttLink::Message> clears;
    for (const QString& topic : values)
        clears.push_back({topic.toUtf8(), {}});
    for (const QString& topic : configs)
        clears.push_back({topic.toUtf8(), {}});
    if (!clears.empty())
        m_link->enqueue(std::move(clears));
}

// The list the broker retained when this publisher first connected: what it
// names and the set no longer has is cleared now, or at the next run's start.
void MqttPublisher::adoptBrokerList(const QByteArray& payload)
{
    const QJsonObject list = QJsonDocument::fromJson(payload).object();
    QSet<QString> values, configs;
    for (const QJsonValue& entry : list.value(QStringLiteral("channels")).toArray()) {
        const QJsonObject channel = entry.toObject();
        const QString topic = channel.value(QStringLiteral("topic")).toString();
        if (isValueTopicUnder(m_endpoint.prefix, topic))
            values.insert(topic);
        const QString config = channel.value(QStringLiteral("discovery_topic")).toString();
        if (isDiscoveryConfig(config))
            configs.insert(config);
    }
    if (m_listedByUs) {
        clearListed(values - m_listedValues, configs - m_listedConfigs);
    } else {
        m_listedValues += values;
        m_listedConfigs += configs;
    }
}

QByteArray MqttPublisher::channelList(const ChannelSet& set) const
{
    QJsonArray channels;
    for (int c = 0; c < set.channels.size(); ++c) {
        const ChannelDef& d = set.channels[c];
        QJsonObject channel{
            {QStringLiteral("topic"), m_run.topics[c]},
            {QStringLiteral("caption"), d.Caption},
            {QStringLiteral("addr"), d.Addr},
            {QStringLiteral("reg"), d.Reg},
            {QStringLiteral("dot"), wholeOr(d.Dot, 0)},
            {QStringLiteral("max"), wholeOr(d.Max, 0)},
            {QStringLiteral("min"), wholeOr(d.Min, 0)},
            {QStringLiteral("color"), colourText(d.Color)},
        };
        if (!m_endpoint.discovery.isEmpty())
            channel.insert(QStringLiteral("discovery_topic"), MqttTopics::discoveryConfig(m_endpoint.discovery, m_run.topics[c]));
        channels.append(channel);
    }
    const QJsonObject list{
        {QStringLiteral("title"), set.Title},
        {QStringLiteral("sampling_ms"), wholeOr(set.Sampling, 0)},
        {QStringLiteral("channels"), channels},
    };
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

// A Home Assistant MQTT sensor, as its discovery documents it.
QByteArray MqttPublisher::discoveryConfig(const ChannelSet& set, int c) const
{
    const ChannelDef& d = set.channels[c];
    const QString& topic = m_run.topics[c];
    const QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{QStringLiteral("kelo_") + MqttTopics::objectId(m_endpoint.prefix)}},
        {QStringLiteral("name"), set.Title.isEmpty() ? m_endpoint.prefix : set.Title},
        {QStringLiteral("manufacturer"), QStringLiteral("kelomon")},
        {QStringLiteral("model"), QStringLiteral("temperature controller line")},
    };
    QJsonObject config{
        {QStringLiteral("name"), d.Caption},
        {QStringLiteral("unique_id"), QStringLiteral("kelo_") + MqttTopics::objectId(topic)},
        {QStringLiteral("state_topic"), topic},
        {QStringLiteral("value_template"), QStringLiteral("{{ value_json.value }}")},
        {QStringLiteral("availability_topic"), MqttTopics::status(m_endpoint.prefix)},
        {QStringLiteral("payload_available"), QStringLiteral("online")},
        {QStringLiteral("payload_not_available"), QStringLiteral("offline")},
        {QStringLiteral("state_class"), QStringLiteral("measurement")},
        {QStringLiteral("suggested_display_precision"), std::max(0, wholeOr(d.Dot, 0))},
        {QStringLiteral("device"), device},
    };
    if (!m_endpoint.unit.isEmpty())
        config.insert(QStringLiteral("unit_of_measurement"), m_endpoint.unit);
    return QJsonDocument(config).toJson(QJsonDocument::Compact);
}

void MqttPublisher::publishSample(const QDateTime& time, const QList<SampleValue>& values)
{
    if (!m_running)
        return;
    const qsizetype n = std::min(values.size(), m_run.topicBytes.size());
    QByteArray head = "{\"time\":";
    head += timeJson(time);
    head += ",\"seq\":";
    head += QByteArray::number(++m_seq);
    std::vector<MqttLink::Message> messages;
    messages.reserve(std::size_t(n));
    for (qsizetype c = 0; c < n; ++c) {
        const SampleValue& v = values[c];
        QByteArray json;
        json.reserve(head.size() + m_run.tails[c].size() + 64);
        json += head;
        // No measurement is null, never a made-up number.
        if (v.value) {
            json += ",\"value\":";
            appendJsonNumber(json, *v.value);
            json += ",\"text\":";
            appendJsonString(json, v.text);
        } else {
            json += ",\"value\":null,\"text\":null";
        }
        json += m_run.tails[c];
        json += v.value ? ",\"ok\":true}" : ",\"ok\":false}";
        messages.push_back({m_run.topicBytes[c], std::move(json)});
    }
    m_link->enqueue(std::move(messages));
}

void MqttPublisher::publishHealth()
{
    const QDateTime now = QDateTime::currentDateTime();
    std::vector<MqttLink::Message> messages;
    for (const QString& addr : m_health.addresses()) {
        // A stray reply's address (counted as dropped) need not be a topic level.
        if (MqttTopics::levelProblem(addr).isEmpty())
            messages.push_back({MqttTopics::health(m_endpoint.prefix, addr).toUtf8(), m_health.payload(addr, now)});
    }
    if (!messages.empty())
        m_link->enqueue(std::move(messages));
}

bool MqttPublisher::flush(int timeoutMs)
{
    return m_link->waitDrained(timeoutMs);
}

MqttPublisher::Counters MqttPublisher::counters() const
{
    return {m_link->queued(), m_link->inFlight(), m_link->delivered(), m_link->dropped()};
}

void MqttPublisher::reportState(State state, const QString& detail)
{
    // A broker that stays away is told once; a refusal again only when its reason changes.
    if (state == m_state && (state != State::Refused || m_stateMessage.endsWith(detail)))
        return;
    const QString url = m_endpoint.displayUrl();
    QString message;
    switch (state) {
    case State::Idle:
        break;
    case State::Connecting:
        message = QStringLiteral("MQTT 브로커에 연결하는 중: %1").arg(url);
        break;
    case State::Connected: {
        message = m_state == State::Away ? QStringLiteral("MQTT 브로커에 다시 연결됨: %1").arg(url)
                                         : QStringLiteral("MQTT 브로커에 연결됨: %1").arg(url);
        const qint64 dropped = m_link->dropped();
        if (dropped > m_droppedAtLastReport)
            message += QStringLiteral(" (대기열이 넘쳐 오래된 메시지 %1개를 버렸습니다)").arg(dropped - m_droppedAtLastReport);
        m_droppedAtLastReport = dropped;
        break;
    }
    case State::Away:
        message = m_state == State::Connected
                      ? QStringLiteral("MQTT 브로커 연결이 끊겼습니다: %1 — %2. 다시 연결할 때까지 메시지를 모아 둡니다.")
                      : QStringLiteral("MQTT 브로커에 연결할 수 없습니다: %1 — %2. 계속 다시 시도합니다.");
        message = message.arg(url, detail);
        break;
    case State::Refused:
        message = QStringLiteral("MQTT 브로커가 연결을 거부했습니다: %1 — %2").arg(url, detail);
        break;
    }
    m_state = state;
    m_stateMessage = message;
    emit stateChanged(state, message);
}

QString MqttPublisher::toolTipText() const
{
    const Counters c = counters();
    QString text = m_stateMessage.isEmpty() ? QStringLiteral("MQTT: %1").arg(m_endpoint.displayUrl()) : m_stateMessage;
    if (m_running)
        text += QStringLiteral("\n게시 중: %1/+/+ (채널 %2개)").arg(m_endpoint.prefix).arg(m_run.topics.size());
    text += QStringLiteral("\n대기 %1 · 전송 중 %2 · 전송 완료 %3").arg(c.queued).arg(c.inFlight).arg(c.delivered);
    if (c.dropped > 0)
        text += QStringLiteral(" · 버림 %1").arg(c.dropped);
    return text;
}
