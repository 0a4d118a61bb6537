#include "publish/MqttPublisher.h"

#include "publish/MqttJson.h"
#include "publish/MqttLink.h"

#include <QElapsedTimer>
#include <QThread>
#include <vector>

namespace {

// A topic level from a field of the channel set: the characters a topic level
// cannot hold become "_".
QString topicLevel(const QString& field)
{
    QString level = field.trimmed();
    for (QChar& c : level) {
        if (c == QLatin1Char('/') || c == QLatin1Char('+') || c == QLatin1Char('#') || c.unicode() == 0)
            c = QLatin1Char('_');
    }
    return level.isEmpty() ? QStringLiteral("_") : level;
}

QByteArray topicBytes(const QByteArray& prefix, const PublishedChannel& channel)
{
    QByteArray topic = prefix;
    topic += '/';
    topic += topicLevel(channel.addr).toUtf8();
    topic += '/';
    topic += topicLevel(channel.reg).toUtf8();
    return topic;
}

// The time is formatted once per sample: it is the same for every channel.
QByteArray payloadBytes(const QByteArray& timeJson, const PublishedChannel& channel)
{
    QByteArray json;
    json.reserve(112 + channel.caption.size() * 3);
    json += "{\"time\":";
    json += timeJson;
    json += ",\"value\":";
    if (channel.value)
        appendJsonNumber(json, *channel.value);
    else
        json += "null";
    json += ",\"text\":";
    appendJsonString(json, channel.text);
    json += ",\"caption\":";
    appendJsonString(json, channel.caption);
    // Dot is a number of decimal places; a hand-edited set may hold other text.
    json += ",\"unit_dot\":";
    bool isNumber = false;
    const int dot = channel.dot.trimmed().toInt(&isNumber);
    if (isNumber)
        json += QByteArray::number(dot);
    else
        appendJsonString(json, channel.dot);
    json += channel.ok ? ",\"ok\":true}" : ",\"ok\":false}";
    return json;
}

QByteArray timeJson(const QDateTime& time)
{
    QByteArray json;
    appendJsonString(json, isoTimeWithOffset(time));
    return json;
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
    , m_prefixBytes(m_endpoint.prefix.toUtf8())
{
    m_link = std::make_unique<MqttLink>(
        m_endpoint, queueLimit, kInFlightWindow, [this](MqttLink::Event event, const QString& detail) {
            // On the network thread: hand over to this object's thread.
            QMetaObject::invokeMethod(
                this,
                [this, event, detail] { reportState(stateOf(event), detail); },
                Qt::QueuedConnection);
        });
    m_healthTimer.setInterval(kHealthIntervalMs);
    connect(&m_healthTimer, &QTimer::timeout, this, &MqttPublisher::publishHealth);
}

MqttPublisher::~MqttPublisher()
{
    if (m_link->connected()) {
        m_link->enqueue({{MqttLink::statusTopic(m_endpoint.prefix), QByteArrayLiteral("offline")}});
        flush(kShutdownWaitMs);
    }
    m_link->stop();
}

void MqttPublisher::start()
{
    if (m_state != State::Idle)
        return;
    reportState(State::Connecting, {});
    m_link->start();
    m_healthTimer.start();
}

QByteArray MqttPublisher::valueTopic(const QString& prefix, const QString& addr, const QString& reg)
{
    PublishedChannel channel;
    channel.addr = addr;
    channel.reg = reg;
    return topicBytes(prefix.toUtf8(), channel);
}

QByteArray MqttPublisher::valuePayload(const QDateTime& time, const PublishedChannel& channel)
{
    return payloadBytes(timeJson(time), channel);
}

void MqttPublisher::publishSample(const QDateTime& time, const QList<PublishedChannel>& channels)
{
    const QByteArray when = timeJson(time);
    std::vector<MqttLink::Message> messages;
    messages.reserve(std::size_t(channels.size()));
    for (const PublishedChannel& channel : channels)
        messages.push_back({topicBytes(m_prefixBytes, channel), payloadBytes(when, channel)});
    m_link->enqueue(std::move(messages));
}

void MqttPublisher::publishHealth()
{
    const QDateTime now = QDateTime::currentDateTime();
    std::vector<MqttLink::Message> messages;
    const QString base = m_endpoint.prefix + QStringLiteral("/health/");
    for (const QString& addr : m_health.addresses())
        messages.push_back({(base + topicLevel(addr)).toUtf8(), m_health.payload(addr, now)});
    if (!messages.empty())
        m_link->enqueue(std::move(messages));
}

bool MqttPublisher::flush(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!m_link->drained()) {
        if (clock.elapsed() >= timeoutMs)
            return false;
        QThread::msleep(5);
    }
    return true;
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
    text += QStringLiteral("\n대기 %1 · 전송 중 %2 · 전송 완료 %3").arg(c.queued).arg(c.inFlight).arg(c.delivered);
    if (c.dropped > 0)
        text += QStringLiteral(" · 버림 %1").arg(c.dropped);
    return text;
}
