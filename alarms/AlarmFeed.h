#pragma once
#include "alarms/AlarmBook.h"
#include "alarms/AlarmLog.h"
#include "settings/Clock.h"

#include <QObject>
#include <QTimer>
#include <vector>

class MonitoringEngine;

// Ties a monitoring run to an alarm book and the alarm log beside its record
// file: the channels' values are evaluated after every live sampling tick,
// the engine's events raise and return the system alarms, and every change
// of the book is appended to the log. Nothing here waits or asks anyone.
class AlarmFeed : public QObject {
    Q_OBJECT
public:
    // The broker counts as away after this long without it.
    static constexpr int kBrokerAwayMs = 60 * 1000;

    AlarmFeed(MonitoringEngine& engine, AlarmBook& book, Clock clock = systemClock(),
              SteadyClock steady = steadyClock(), QObject* parent = nullptr);

    // The engine's set has these limits (the captions come from the engine).
    void setSettings(const AlarmSettings& settings);

    // Publishing: whether it is on, and whether the broker is connected.
    // BrokerAway is raised once the broker has been away kBrokerAwayMs
    // while publishing is on, and returns when it is back or publishing ends.
    void setPublishing(bool on);
    void setBrokerConnected(bool connected);
    void setBrokerAwayMs(int ms) { m_brokerTimer.setInterval(ms); } // tests shorten it

    [[nodiscard]] AlarmBook& book() { return m_book; }
    [[nodiscard]] AlarmLog& log() { return m_log; }

Q_SIGNALS:
    // The alarm log cannot be written (said once until it can again), and
    // when every kept line is written again.
    void logFailed(const QString& reason);
    void logRecovered();

private:
    void sample(const QDateTime& time);
    void setLink();
    void followRecord(const QString& recordPath);
    void logTransition(const AlarmTransition& t);
    void writeLog(bool ok, const QString& error);

    MonitoringEngine& m_engine;
    AlarmBook& m_book;
    Clock m_clock;
    SteadyClock m_steady;
    AlarmLog m_log;
    bool m_logFailing = false;
    bool m_sampling = false; // inside evaluate: log lines wait for its end
    bool m_portGone = false;
    bool m_sendFailing = false;
    QString m_linkDetail;
    bool m_publishing = false;
    bool m_brokerConnected = true;
    QTimer m_brokerTimer;
    std::vector<std::optional<double>> m_values; // reused at every tick
    std::vector<bool> m_lost;
};
