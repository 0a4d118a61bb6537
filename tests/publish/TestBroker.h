#pragma once
#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A real mosquitto broker on 127.0.0.1 at a free port, with a configuration
// file written for the test, stopped (killed) when the object goes.
class TestBroker {
public:
    struct Options {
        QString user;             // set: anonymous clients are refused; only user/password connects
        QString password;
        bool tls = false;         // TLS listener; caFile() signed its certificate for 127.0.0.1
        bool persistence = false; // sessions and their queued messages survive stop() and start()
        QByteArray config;        // more lines for mosquitto.conf (a bridge, say)
    };

    explicit TestBroker(Options options);
    TestBroker();
    ~TestBroker();

    // Starts the broker (the first time: writes its files) and waits until it
    // accepts connections. False with error() when it does not.
    bool start();
    void stop(); // SIGTERM: the broker saves its sessions, then ends
    void kill(); // SIGKILL
    // SIGUSR1: with Options::persistence, the broker writes its sessions to
    // its store now; returns once the store file has been written.
    bool saveSessions();
    void pause(); // SIGSTOP: connections stay open, nothing is answered

    [[nodiscard]] quint16 port() const { return m_port; }
    // mqtt://127.0.0.1:<port>/<prefix>, or mqtts:// with Options::tls.
    [[nodiscard]] QString url(const QString& prefix) const;
    [[nodiscard]] QString caFile() const;      // signed the broker's certificate
    [[nodiscard]] QString otherCaFile() const; // a CA that did not
    [[nodiscard]] QString dir() const { return m_dir.path(); }
    [[nodiscard]] const Options& options() const { return m_options; }
    [[nodiscard]] QString error() const { return m_error; }
    [[nodiscard]] QByteArray log(); // what the broker wrote so far

    [[nodiscard]] static quint16 freePort();

private:
    bool prepare();
    bool launch();
    bool run(const QString& program, const QStringList& arguments);
    bool waitUntilListening(int timeoutMs);

    Options m_options;
    QTemporaryDir m_dir;
    quint16 m_port = 0;
    QByteArray m_config; // all but the listener line
    QProcess m_process;
    QByteArray m_log;
    QString m_error;
};

// mosquitto_sub -v as an independent subscriber; start() returns once its
// subscription is in place.
class TestSubscriber {
public:
    struct Message {
        QString topic;
        QByteArray payload;
    };

    // clientId set: a persistent session (clean session off, QoS 1), so the
    // broker keeps messages for it while it is away.
    TestSubscriber(const TestBroker& broker, QString topic, QString clientId = {});
    ~TestSubscriber();

    // Leaves out the retained copy a (re)subscription brings, as a historian
    // does: mosquitto_sub subscribes again at each reconnect, and that copy
    // can be newer than what the session still holds for it.
    void skipRetained() { m_skipRetained = true; }
    bool start(int timeoutMs = 10000);
    // Waits (turning the event loop) until at least count messages match topic
    // (all when empty, MQTT wildcards allowed).
    bool waitFor(qsizetype count, int timeoutMs, const QString& topic = {});
    [[nodiscard]] QList<Message> messages(const QString& topic = {});

private:
    void readOutput();

    const TestBroker& m_broker;
    QString m_topic;
    QString m_clientId;
    QString m_readyTopic;
    bool m_ready = false;
    bool m_skipRetained = false;
    QProcess m_process;
    QByteArray m_pending;
    QList<Message> m_messages;
};

// True when topic matches an MQTT topic filter (+ and # wildcards).
[[nodiscard]] bool topicMatches(const QString& filter, const QString& topic);

