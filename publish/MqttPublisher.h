#pragma once
#include "publish/BusHealth.h"
#include "publish/MqttSettings.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QTimer>
#include <memory>
#include <optional>

// One channel's value at a sampling tick, as the monitoring run has it.
struct PublishedChannel {
    QString addr;                 // as the channel set writes it: "01"
    QString reg;                  // "0001"
    QString caption;
    QString dot;                  // the channel's Dot, as text
    std::optional<double> value;  // none: no value (never answered)
    QString text;                 // the value as the table shows it
    bool ok = true;               // false while the channel is lost under the miss rule
};

class MqttLink;

// Publishes live values to an MQTT broker. The connection, its retries and the
// sending run on a network thread of their own: no call here waits for the
// broker, so the poll and sampling rhythm never stalls on it.
//
// Topics under the endpoint's prefix:
//   <prefix>/<Addr>/<Reg>     one JSON message per channel per sample, QoS 1, retained
//   <prefix>/status           "online" while connected (retained); last will "offline"
//   <prefix>/health/<Addr>    BusHealth figures every kHealthIntervalMs, retained
//
// While the broker is away, messages wait in a queue of at most queueLimit
// (the oldest are dropped and counted beyond it) and go out in order once the
// broker is back. State changes come as stateChanged, once per change.
class MqttPublisher : public QObject {
    Q_OBJECT
public:
    enum class State {
        Idle,       // not started
        Connecting, // first attempt under way
        Connected,
        Away,       // broker unreachable or connection lost; retrying
        Refused,    // broker or TLS refused us (credentials, certificate); retrying
    };
    Q_ENUM(State)

    // One hour of a 30-channel set sampled every second is 108,000 messages.
    static constexpr qsizetype kMaxQueuedMessages = 120000;
    static constexpr int kHealthIntervalMs = 10000;
    static constexpr int kInFlightWindow = 100;      // published, not yet acknowledged
    static constexpr int kShutdownWaitMs = 1000;     // a closing publisher waits this long for acks

    // Throws KeloError with the operator's message when the settings are bad.
    explicit MqttPublisher(const MqttSettings& settings, QObject* parent = nullptr);
    explicit MqttPublisher(MqttEndpoint endpoint, QObject* parent = nullptr,
                           qsizetype queueLimit = kMaxQueuedMessages);
    // Sends "offline" and waits up to kShutdownWaitMs for what is queued.
    ~MqttPublisher() override;

    // Starts connecting and the health timer. Returns at once.
    void start();

    // Queues one message per channel; returns at once, connected or not.
    void publishSample(const QDateTime& time, const QList<PublishedChannel>& channels);

    // The figures behind <prefix>/health/<Addr>; the poll feeds them.
    [[nodiscard]] BusHealth& busHealth() { return m_health; }
    // Queues one health message per known address now (the timer calls this).
    void publishHealth();

    // Waits, blocking the caller, until everything queued is acknowledged or
    // timeoutMs has passed; true when all went out. For an orderly end only.
    bool flush(int timeoutMs);

    struct Counters {
        qint64 queued = 0;    // waiting for the broker
        qint64 inFlight = 0;  // sent, not yet acknowledged
        qint64 delivered = 0; // acknowledged by the broker
        qint64 dropped = 0;   // dropped because the queue was full
    };
    [[nodiscard]] Counters counters() const;

    [[nodiscard]] State state() const { return m_state; }
    [[nodiscard]] QString stateMessage() const { return m_stateMessage; }
    // A few lines for a tool tip: state, broker, queue figures.
    [[nodiscard]] QString toolTipText() const;
    [[nodiscard]] const MqttEndpoint& endpoint() const { return m_endpoint; }

    // The topic and payload of one channel's value message.
    [[nodiscard]] static QByteArray valueTopic(const QString& prefix, const QString& addr, const QString& reg);
    [[nodiscard]] static QByteArray valuePayload(const QDateTime& time, const PublishedChannel& channel);

signals:
    void stateChanged(MqttPublisher::State state, const QString& message);

private:
    void reportState(State state, const QString& message);

    MqttEndpoint m_endpoint;
    QByteArray m_prefixBytes;
    BusHealth m_health;
    QTimer m_healthTimer;
    State m_state = State::Idle;
    QString m_stateMessage;
    qint64 m_droppedAtLastReport = 0;
    std::unique_ptr<MqttLink> m_link;
};
