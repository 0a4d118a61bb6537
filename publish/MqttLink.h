#pragma once
#include "publish/MqttSettings.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct mosquitto;

// The broker connection behind MqttPublisher: an ordered, bounded queue that
// any thread fills, and one network thread of ours that owns the libmosquitto
// client: it connects, backs off, reconnects, and feeds the queue to the
// broker through a bounded window of unacknowledged QoS 1 messages. Every
// libmosquitto call happens on that thread, so the order messages leave the
// queue is the order they reach the broker. Every message is QoS 1 and
// retained; an empty payload clears the topic's retained message.
class MqttLink {
public:
    struct Message {
        QByteArray topic;
        QByteArray payload;
    };
    enum class Event { Connected, Away, Refused };
    static constexpr int kKeepAliveSeconds = 15; // also bounds a connect that never completes
    static constexpr int kFirstRetryMs = 500;    // reconnects back off, doubling ...
    static constexpr int kMaxRetryMs = 30000;    // ... up to this
    // Called on the network thread, and by start() on the caller's thread
    // when the client cannot be set up; the receiver hands it to its own
    // thread. Never called once silence() has returned.
    using Reporter = std::function<void(Event event, const QString& message)>;

    // Called on the network thread with the payload of the retained message
    // read at the first connection (empty when there is none).
    using RetainedReader = std::function<void(const QByteArray& payload)>;

    MqttLink(MqttEndpoint endpoint, qsizetype queueLimit, int inFlightWindow, Reporter reporter);
    ~MqttLink(); // stops the thread without waiting for the queue

    // Before start(): at the first connection, before anything queued is
    // sent, read what the broker retains at topic and hand it to reader.
    void readRetainedFirst(QByteArray topic, RetainedReader reader);
    static constexpr int kRetainedReadMs = 5000; // a broker that does not answer is not waited for longer

    // Sets the client up and starts the network thread; a setup call that
    // fails is reported as Refused, naming it, and nothing starts.
    void start();
    // Appends in order; beyond the limit the oldest are dropped and counted.
    void enqueue(std::vector<Message> messages);
    // The queue is empty and every message sent is acknowledged.
    [[nodiscard]] bool drained() const;
    // Waits, without spinning, until drained() or timeoutMs have passed.
    bool waitDrained(int timeoutMs) const;
    // The reporter and the retained reader are not called any more.
    void silence();
    // Asks the thread to end, with a clean disconnect when connected; returns at once.
    void requestStop();
    // Waits at most timeoutMs for the thread to end; true when it has (or never ran).
    bool waitStopped(int timeoutMs);
    // Ends the thread and waits for it: it may sit in a host-name lookup, so
    // not for a window's thread (see MqttPublisher's destructor).
    void stop();

    [[nodiscard]] qint64 queued() const;
    [[nodiscard]] qint64 inFlight() const { return m_inFlightShared.load(); }
    [[nodiscard]] qint64 delivered() const { return m_delivered.load(); }
    [[nodiscard]] qint64 dropped() const { return m_dropped.load(); }
    [[nodiscard]] bool connected() const { return m_connectedShared.load(); }

private:
    void run();
    bool openConnection();
    void serviceConnection();
    void linkDown(int rc, int savedErrno);
    void pump();
    void waitBeforeRetry();
    void closeCleanly();
    void wake();
    void publishNow(const Message& message);
    void report(Event event, const QString& message);
    void noteChange();
    [[nodiscard]] bool setUp();
    void beginRetainedRead();
    void endRetainedRead();
    [[nodiscard]] QString describeFailure(int rc, int savedErrno) const;

    static void onConnect(mosquitto*, void* self, int rc);
    static void onPublish(mosquitto*, void* self, int mid);
    static void onLog(mosquitto*, void* self, int level, const char* text);
    static void onMessage(mosquitto*, void* self, const struct mosquitto_message* message);
    static void onUnsubscribe(mosquitto*, void* self, int mid);

    const MqttEndpoint m_endpoint;
    const qsizetype m_queueLimit;
    const int m_inFlightWindow;
    const Reporter m_report;
    const QByteArray m_statusTopic;

    mosquitto* m_mosq = nullptr;
    int m_wakeFd = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed; // drained() or m_finished may have changed
    std::deque<Message> m_queue; // guarded by m_mutex
    bool m_finished = false;     // guarded by m_mutex: run() has returned

    std::mutex m_reportMutex;    // a report and silence() never overlap
    bool m_silenced = false;     // guarded by m_reportMutex

    std::atomic<qint64> m_dropped{0};
    std::atomic<qint64> m_delivered{0};
    std::atomic<qint64> m_inFlightShared{0};
    std::atomic<bool> m_connectedShared{false};

    // Network thread only.
    bool m_socketOpen = false;
    bool m_ready = false;      // CONNACK accepted and libmosquitto's resends queued
    int m_connackCode = -1;
    int m_inFlight = 0;
    int m_retryMs = 0;
    QString m_lastLibraryError;
    // The retained read: a subscription and its unsubscription sent together;
    // the broker answers the second after it has sent what the first retained.
    QByteArray m_retainedTopic;
    RetainedReader m_retainedReader;
    bool m_retainedDone = true;
    bool m_retainedReading = false;
    int m_retainedMid = -1;
    QByteArray m_retainedPayload;
    std::chrono::steady_clock::time_point m_retainedDeadline;
};
