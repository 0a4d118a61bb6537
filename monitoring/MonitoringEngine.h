#pragma once
#include "monitoring/ChannelSet.h"
#include "monitoring/PollCycle.h"
#include "monitoring/RecordFile.h"
#include "settings/Clock.h"
#include "settings/Regional.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <optional>
#include <vector>

class ReplyAssembler;
class TComPort;

// The monitoring run without a window: polls the channels of a set one per
// poll tick, credits each reply to the channel polled last, applies the miss
// rule, decodes values, and at each sampling tick appends one line of every
// channel's value to the run's record file, keeping back the lines that
// cannot be written and writing them, in order, to their own run's file
// once writing works again.
//
// The owner drives the rhythm: it calls pollTick(), sampleTick() and
// receive() from its timers and its port's receive notification, and turns
// the signals into whatever it shows (cells, points, panels and boxes; log
// lines; published messages). Nothing here waits or asks anyone.
// Channels are numbered from 1.
class MonitoringEngine : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Ok, Refused, Missed };

    MonitoringEngine(TComPort& port, ReplyAssembler& assembler, Clock clock, Regional regional,
                     QObject* parent = nullptr);

    // A new channel set: the poll cycle and the values start afresh.
    void setChannels(const QList<ChannelDef>& channels, const QString& headerName);
    [[nodiscard]] int channelCount() const { return int(m_channels.size()); }
    [[nodiscard]] const ChannelDef& channel(int c) const { return m_channels[c - 1]; }
    [[nodiscard]] const QString& headerName() const { return m_headerName; }

    // Starts a run that records to recordPath. Every channel starts without a
    // value, so one that stays silent records "0". In test mode no file is
    // touched until test mode is switched off during the run. Throws
    // KeloError when the file cannot be created.
    void start(const QString& recordPath, bool testMode);
    void stop();
    [[nodiscard]] bool running() const { return m_running; }
    // From now on the run records into another file (the same header line);
    // lines the old file still owes stay kept back for it.
    void switchRecordFile(const QString& recordPath);
    [[nodiscard]] QString recordPath() const { return m_record.path(); }

    // The poll tick: zeroes the channel due after three requests without an
    // "OK", then sends its request (live), or plots a random value (test).
    void pollTick(bool testMode);
    // The sampling tick: stamps the time and records every channel's value.
    void sampleTick(bool testMode);
    // Bytes from the port; returns the number of replies they completed.
    int receive(const QByteArray& bytes);

    // The value text of the channel ("" when it has none since Start).
    [[nodiscard]] QString valueText(int c) const { return m_values[c - 1].text; }
    [[nodiscard]] std::optional<double> value(int c) const { return m_values[c - 1].value; }
    // Zeroed by the miss rule and not answering since.
    [[nodiscard]] bool lost(int c) const { return m_values[c - 1].lost; }
    [[nodiscard]] const PollCycle& poll() const { return m_poll; }
    [[nodiscard]] bool recordFailing() const { return m_recordFailing; }

    // Lines of this and earlier runs not yet written, and their files.
    [[nodiscard]] int unwrittenLines() const;
    [[nodiscard]] int unwrittenLines(const QString& path) const;
    [[nodiscard]] QStringList unwrittenFiles() const;
    // Drops the lines still owed to the file at path (the operator replaces it).
    void dropUnwritten(const QString& path);
    // Tries to write every kept-back line now; true when none is left.
    bool flushUnwritten();

Q_SIGNALS:
    void valueShown(int channel, const QString& text);
    void pointPlotted(int channel, double value);
    void channelLost(int channel);
    void channelAnswering(int channel);
    void requestSent(int channel, const QByteArray& frame);
    void replyReceived(const QByteArray& frame);
    // A request's fate: answered OK, refused, or unanswered when the next
    // request went out; response time in milliseconds for answers.
    void exchangeEnded(int channel, Outcome outcome, qint64 responseMs);
    void sampled(const QDateTime& time, const QString& stamp);
    // A live sampling tick is done: every channel's value is as recorded.
    void sampleTaken(const QDateTime& time);
    void recordFailed(const QString& reason);
    void recordRecovered();
    void sendFailed(const QString& reason);
    void sendRecovered();
    void linkLost(const QString& reason);
    void linkResumed();

private:
    struct Value {
        QString text;
        std::optional<double> value;
        bool lost = false;
        bool measured = false; // answered since Start
    };

    void setValue(int c, const QString& text, std::optional<double> value);
    void zero(int c);
    void handleReply(const QByteArray& frame);
    void clearValues();
    void beginLive();
    void record(const QString& stamp);
    void setRecordFailing(bool failing, const QString& reason = {});
    void retryBacklog();

    TComPort& m_port;
    ReplyAssembler& m_assembler;
    Clock m_clock;
    Regional m_regional;
    QList<ChannelDef> m_channels;
    QString m_headerName;
    std::vector<Value> m_values;
    PollCycle m_poll;

    bool m_running = false;
    bool m_testMode = false;           // as the latest tick read it
    bool m_fileMade = false;           // this run's record file exists
    RecordFile m_record;
    std::vector<RecordFile> m_backlog; // earlier files' lines not yet written
    bool m_recordFailing = false;
    bool m_sendFailing = false;
    QString m_lostReason;

    QElapsedTimer m_sinceRequest;
    bool m_awaiting = false;           // the latest request has no answer yet
};
