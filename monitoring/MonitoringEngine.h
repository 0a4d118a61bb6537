#pragma once
#include "monitoring/ChannelSet.h"
#include "monitoring/PollCycle.h"
#include "monitoring/PollTiming.h"
#include "monitoring/RecordFile.h"
#include "monitoring/SampleSchedule.h"
#include "settings/Clock.h"
#include "settings/Regional.h"

#include <QDateTime>
#include <QObject>
#include <optional>
#include <vector>

class FrameSender;
class ReplyAssembler;

// The monitoring run without a window: polls the channels of a set one per
// poll tick, credits each reply to the request it answers, applies the miss
// rule, decodes values, and at each sampling tick appends one line of every
// channel's value to the run's record file, keeping back the lines that
// cannot be written and writing them, in order, to their own run's file
// once writing works again.
//
// The line is half-duplex and replies carry no register, so only one request
// is ever out: a poll tick that finds the last request still awaited (and
// its response time-out not yet passed) sends nothing and counts as skipped,
// and a reply that arrives while no request is awaited, or from another
// address, belongs to no channel and is dropped and counted.
//
// Requests go to a FrameSender (the serial port, or a test's scripted line)
// that never waits for the bytes to leave. The owner drives the rhythm: it
// calls pollTick(), sampleTick() and receive() from its timers and its
// port's receive notification, and turns the signals into whatever it shows
// (cells, points, panels and boxes; log lines; published messages). Every
// state signal (send, record, link) fires on a change, not on every tick.
// Nothing here waits or asks anyone.
// Channels are numbered from 1.
class MonitoringEngine : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Ok, Refused, Missed };

    // The time a sampling tick stands for, and its stamp in the record file.
    struct Sample {
        QDateTime time;
        QString stamp;
        bool testMode = false;
    };

    MonitoringEngine(FrameSender& line, ReplyAssembler& assembler, Clock clock, Regional regional,
                     SteadyClock steady, QObject* parent = nullptr);

    // A new channel set: the poll cycle and the values start afresh.
    void setChannels(const QList<ChannelDef>& channels, const QString& headerName);
    [[nodiscard]] int channelCount() const { return int(m_channels.size()); }
    [[nodiscard]] const ChannelDef& channel(int c) const { return m_channels[c - 1]; }
    [[nodiscard]] const QString& headerName() const { return m_headerName; }

    // The sampling interval the stamps are laid on (the set's Sampling).
    void setSamplingInterval(int ms) { m_samplingMs = ms; }
    // The poll interval the owner's timer runs at (0: paced by replies),
    // and the wait for a reply before the request counts as unanswered.
    void setPollTiming(int pollDelayMs, int responseTimeoutMs);
    [[nodiscard]] int responseTimeout() const { return m_responseTimeoutMs; }

    // Starts a run that records to recordPath. Every channel starts without a
    // value, so one that stays silent records "0". In test mode no file is
    // touched until test mode is switched off during the run. Lines an earlier
    // run still owes recordPath are dropped: the file is made anew. With Replace
    // naming (a name the operator chose) it throws KeloError when the file
    // cannot be created; with Unique naming (a made-up name) the run starts
    // anyway and the file is made, under a free name, once it can be.
    void start(const QString& recordPath, bool testMode, RecordFile::Naming naming = RecordFile::Naming::Replace);
    void stop();
    [[nodiscard]] bool running() const { return m_running; }
    // From now on the run records into another file (the same header line);
    // lines the old file still owes stay kept back for it.
    void switchRecordFile(const QString& recordPath);
    [[nodiscard]] QString recordPath() const { return m_record.path(); }

    // The poll tick: zeroes the channel due after three requests without an
    // "OK", then sends its request (live), or plots a random value (test).
    void pollTick(bool testMode);
    // The sampling tick: takeSample() then recordSample().
    void sampleTick(bool testMode);
    // The first step of a sampling tick: the grid slot it stands for
    // (sampleStamped), and kept-back lines written where they can be now.
    [[nodiscard]] Sample takeSample(bool testMode);
    // The second step: a live running tick records every channel's value
    // (sampleRecorded). An owner that acts on the slot's time (a new day's
    // file) does so between the two steps.
    void recordSample(const Sample& sample);
    // Bytes from the port; returns the number of replies they completed.
    int receive(const QByteArray& bytes);
    // Whether a request is out and its reply not yet in.
    [[nodiscard]] bool awaiting() const { return m_awaiting; }
    // Milliseconds until the awaited request times out (0 when none is out).
    [[nodiscard]] qint64 msUntilTimeout() const;

    // Since Start: poll ticks held back by an awaited reply, and replies
    // that belonged to no request.
    [[nodiscard]] qint64 skippedTicks() const { return m_skippedTicks; }
    [[nodiscard]] qint64 droppedReplies() const { return m_droppedReplies; }

    // The value text of the channel ("" when it has none since Start).
    [[nodiscard]] QString valueText(int c) const { return m_values[c - 1].text; }
    [[nodiscard]] std::optional<double> value(int c) const { return m_values[c - 1].value; }
    // Zeroed by the miss rule and not answering since.
    [[nodiscard]] bool lost(int c) const { return m_values[c - 1].lost; }
    [[nodiscard]] const PollCycle& poll() const { return m_poll; }
    // Since the latest recordFailed, no recordRecovered.
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
    // The channel's value text changed ("" when it has none, "0" when zeroed).
    void valueChanged(int channel, const QString& text);
    // A measurement as a percentage of the channel's range (0 when zeroed; a
    // random 0..99 in test mode).
    void percentMeasured(int channel, double percent);
    // Zeroed by the miss rule; `refused` when the controller said no (NG)
    // rather than nothing.
    void channelLost(int channel, bool refused);
    void channelAnswering(int channel);
    void requestSent(int channel, const QByteArray& frame);
    void replyReceived(const QByteArray& frame);
    // A request's fate: answered OK, refused, or unanswered (its time-out
    // passed when the next tick came, or test mode forgot it); response time
    // in milliseconds for answers.
    void exchangeEnded(int channel, Outcome outcome, qint64 responseMs);
    // A poll tick sent nothing: the request to `awaitedChannel` is still out.
    void pollSkipped(int awaitedChannel);
    // A reply that answers no request (late, stray, or another address's).
    void replyDropped(const QByteArray& frame);
    // Once a run: replies take longer than the poll interval, so ticks are
    // skipped and each channel is read less often than the interval says.
    void repliesSlowerThanPoll(qint64 responseMs, int pollDelayMs);
    // Every sampling tick: the slot of the sampling grid it stands for.
    void sampleStamped(const QDateTime& time, const QString& stamp);
    // A live sampling tick wrote (or kept back) its line: every channel's
    // value is as recorded.
    void sampleRecorded(const QDateTime& time);
    void recordFailed(const QString& reason);
    // The record file was made (again), header line first.
    void recordFileMade(const QString& path);
    void recordRecovered();
    // Link states, each on a change only. `reason` is the port's own text;
    // `cause` says it plainly.
    void sendFailed(const QString& reason, const QString& cause);
    void sendRecovered();
    void linkLost(const QString& reason);
    void linkResumed();
    // Replies are no longer announced: the owner reopens the port.
    void receiveStopped(const QString& reason);

private:
    struct Value {
        QString text;
        std::optional<double> value;
        bool lost = false;
        bool measured = false; // answered since Start
    };

    void setValue(int c, const QString& text, std::optional<double> value);
    void zero(int c, bool refused);
    void handleReply(const QByteArray& frame);
    void clearValues();
    void beginLive();
    void record(const QString& stamp);
    void noteFileMade(int timesMadeBefore);
    void drop(const QByteArray& frame);
    void pollLive(int p);
    void pollTest(int p);
    void forgetAwaited();
    void sendRequest(int p);
    [[nodiscard]] qint64 sinceRequest() const { return m_steady() - m_requestAt; }
    void setRecordFailing(bool failing, const QString& reason = {});
    void retryBacklog();

    FrameSender& m_line;
    ReplyAssembler& m_assembler;
    Clock m_clock;
    Regional m_regional;
    SteadyClock m_steady;
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

    SampleSchedule m_schedule;
    int m_samplingMs = 0;
    int m_pollDelayMs = 0;
    int m_responseTimeoutMs = kDefaultResponseTimeoutMs;

    qint64 m_requestAt = 0;            // steady time the awaited request went out
    int m_awaitedChannel = 0;
    bool m_awaiting = false;           // the latest request has no answer yet
    qint64 m_skippedTicks = 0;
    qint64 m_droppedReplies = 0;
    bool m_slowSaid = false;           // repliesSlowerThanPoll this run
};
