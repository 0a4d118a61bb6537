#pragma once
#include "monitoring/ChannelSet.h"
#include "publish/BusHealth.h"
#include "publish/MqttSettings.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <memory>
#include <optional>

// One channel's value at a sampling tick.
struct SampleValue {
    std::optional<double> value; // none: no measurement (not answered since Start, or lost)
    QString text;                // the value as the table shows it
};

class MqttLink;

// Publishes a monitoring run to an MQTT broker. The connection, its retries
// and the sending run on a network thread of their own: no call here waits
// for the broker, so the poll and sampling rhythm never stalls on it.
//
// Topics under the endpoint's prefix (all QoS 1, retained; MqttTopics.h):
//   <prefix>/<Addr>/<Reg>           one JSON message per channel per sample
//   <prefix>/status                 "online" while connected; last will "offline"
//   <prefix>/state                  "running" during a run, else "stopped"
//   <prefix>/channels               the set's title, interval and channels, at each run's start
//   <prefix>/health/station/<Addr>  BusHealth figures every kHealthIntervalMs of a run
// With discovery on, one Home Assistant sensor config per channel under the
// discovery prefix. Value topics and configs of channels no longer in the
// set (in this publisher's last list, or the list the broker retained from
// an earlier one) are cleared with an empty retained message.
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
    // Published, not yet acknowledged. Larger windows are slower: libmosquitto
    // and the broker walk their lists of unacknowledged messages per message.
    static constexpr int kInFlightWindow = 100;
    static constexpr int kShutdownWaitMs = 1000;     // kelorec's orderly end waits this long for acks
    // A publisher destroyed on a window's thread waits at most this long for
    // "offline" to be acknowledged, and as long again for its thread to end.
    static constexpr int kCloseWaitMs = 500;

    // Throws MqttSettingsError when the settings are bad.
    explicit MqttPublisher(const MqttSettings& settings, QObject* parent = nullptr);
    explicit MqttPublisher(MqttEndpoint endpoint, QObject* parent = nullptr,
                           qsizetype queueLimit = kMaxQueuedMessages);
    // Ends a run still going, says "offline" and waits up to kCloseWaitMs for
    // it; a network thread that does not end within kCloseWaitMs is left to
    // end on its own (joined and freed by a thread of its own).
    ~MqttPublisher() override;

    // Starts connecting. Returns at once. Without a run, the state says "stopped".
    void start();

    // Why the set cannot be published (the message names the channel's row),
    // or "" when it can.
    [[nodiscard]] QString setProblem(const ChannelSet& set) const;
    // A run of set begins: clears what left the set, then the channel list,
    // the discovery configs, the state "running"; seq and the bus health start
    // afresh. Returns setProblem(set); with one, nothing is published until
    // the next run.
    QString beginRun(const ChannelSet& set);
    // The run ends: the last health figures, then the state "stopped".
    void endRun();
    [[nodiscard]] bool running() const { return m_running; }

    // Queues one message per channel of the run's set (values in its order);
    // returns at once, connected or not. Nothing outside a run.
    void publishSample(const QDateTime& time, const QList<SampleValue>& values);

    // Queues one retained message (alarm states and their configs, which
    // come and go with the book, not with samples); returns at once.
    void publishRetained(const QString& topic, const QByteArray& payload) { enqueue(topic, payload); }

    // The figures behind <prefix>/health/station/<Addr>; the poll feeds them.
    [[nodiscard]] BusHealth& busHealth() { return m_health; }
    // Queues one health message per known address now (the timer calls this).
    void publishHealth();
    void setHealthIntervalMs(int ms) { m_healthTimer.setInterval(ms); } // kHealthIntervalMs unless a test says otherwise

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
    // The run's value topics, in the set's order.
    [[nodiscard]] const QStringList& valueTopics() const { return m_run.topics; }

signals:
    void stateChanged(MqttPublisher::State state, const QString& message);

private:
    struct Run {
        QStringList topics;
        QList<QByteArray> topicBytes;
        QList<QByteArray> tails; // ,"caption":…,"unit_dot":…
    };
    void reportState(State state, const QString& message);
    void enqueue(const QString& topic, const QByteArray& payload);
    void clearListed(const QSet<QString>& values, const QSet<QString>& configs);
    void adoptBrokerList(const QByteArray& payload);
    [[nodiscard]] QByteArray channelList(const ChannelSet& set) const;
    [[nodiscard]] QByteArray discoveryConfig(const ChannelSet& set, int channel) const;

    MqttEndpoint m_endpoint;
    BusHealth m_health;
    QTimer m_healthTimer;
    State m_state = State::Idle;
    QString m_stateMessage;
    qint64 m_droppedAtLastReport = 0;
    bool m_running = false;
    qint64 m_seq = 0;
    Run m_run;
    // What is listed at the broker: this publisher's last list, else the one
    // the broker retained from before.
    QSet<QString> m_listedValues;
    QSet<QString> m_listedConfigs;
    bool m_listedByUs = false;
    std::unique_ptr<MqttLink> m_link;
};
