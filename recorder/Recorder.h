#pragma once
#include "alarms/AlarmTypes.h"
#include "monitoring/ChannelSet.h"
#include "monitoring/PollTiming.h"
#include "link/ReplyAssembler.h"
#include "recorder/RecorderLine.h"
#include "recorder/RecorderOptions.h"
#include "settings/Clock.h"
#include "settings/Regional.h"

#include <QDate>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

class AlarmBook;
class AlarmFeed;
class ComPortSender;
class MonitoringEngine;
class MqttAlarmFeed;
class MqttPublisher;
class TComPort;

// The monitoring run of kelorec: the engine on a port of its own, driven by
// its own poll and sampling timers, with every change of state written to
// the log as one line.
class Recorder : public QObject {
    Q_OBJECT
public:
    using Log = std::function<void(const QString& line)>;

    Recorder(RecorderOptions options, Clock clock, Regional regional, Log log, SteadyClock steady = steadyClock(),
             QObject* parent = nullptr);
    ~Recorder() override;

    // Reads Main.ini and the channel set, and puts the set beside the record
    // files. The message when something is refused, else "".
    [[nodiscard]] QString prepare();
    // Creates the first record file (under a free name; a folder or disk
    // fault is retried at every tick), opens the port (again every second
    // until it opens) and, with runTimers, starts the poll and sampling
    // timers.
    void start(bool runTimers = true);
    // Ends the run once the kept-back lines are written; the exit status:
    // 0, or 1 when lines are lost.
    int finish();

    // The ticks, as the timers run them.
    void pollTick();
    void sampleTick();

    [[nodiscard]] MonitoringEngine& engine() { return *m_engine; }
    // The publisher when --mqtt names a broker, else none.
    [[nodiscard]] MqttPublisher* publisher() { return m_publisher.get(); }
    [[nodiscard]] TComPort& port() { return *m_port; }
    // The run's alarms: the limits of the alarm file beside the set and the
    // system alarms; every raise and return is a log line.
    [[nodiscard]] AlarmBook& alarms() { return *m_alarms; }
    [[nodiscard]] AlarmFeed& alarmFeed() { return *m_alarmFeed; }
    [[nodiscard]] const ChannelSet& channelSet() const { return m_set; }
    [[nodiscard]] QString recordPath() const;
    [[nodiscard]] int delayMs() const { return m_delayMs; }
    // The wait for a reply before a request counts as unanswered.
    [[nodiscard]] int responseTimeout() const { return m_responseTimeoutMs; }

private:
    void connectEngine();
    void tryOpen();
    [[nodiscard]] QString preparePublishing();
    [[nodiscard]] QString newRecordPath(const QDateTime& time) const;
    [[nodiscard]] QString channelName(int c) const;
    void setPollTiming();
    [[nodiscard]] QString setCopyRefusal() const;
    void copySetToOut();
    void logBusCounts(bool now = false);
    // Before a sample is recorded: the slot stamped at or after midnight
    // opens the new day's file.
    void switchFileForNewDay(const QDateTime& slot);
    void reopenAfterReceiveStop(const QString& reason);
    void prepareAlarms();
    void logAlarm(const AlarmTransition& t);

    RecorderOptions m_options;
    RecorderLine m_line;
    Clock m_clock;
    Regional m_regional;
    Log m_log;
    ChannelSet m_set;
    QString m_outDir;
    int m_delayMs = kDefaultPollDelayMs;
    int m_samplingMs = 1000;
    // Destroyed in reverse: the publisher, the engine, then the port it listens to.
    std::unique_ptr<TComPort> m_port;
    ReplyAssembler m_assembler;
    std::unique_ptr<ComPortSender> m_sender;
    std::unique_ptr<MonitoringEngine> m_engine;
    std::unique_ptr<MqttPublisher> m_publisher;
    std::unique_ptr<AlarmBook> m_alarms;
    std::unique_ptr<AlarmFeed> m_alarmFeed;
    std::unique_ptr<MqttAlarmFeed> m_mqttAlarms;
    QTimer m_pollTimer;
    QTimer m_sampleTimer;
    QTimer m_openTimer;
    QDate m_fileDate;
    bool m_openFailureLogged = false;
    int m_responseTimeoutMs = kDefaultResponseTimeoutMs;
    QString m_announcedPath;              // the record file the log named last
    bool m_started = false;
    QElapsedTimer m_busCountsSaid;
    bool m_setCopyFailureLogged = false;
    bool m_runTimers = true;
};
