#include "monitoring/MonitoringEngine.h"

#include "link/FrameProtocol.h"
#include "link/FrameSender.h"
#include "link/ReplyAssembler.h"
#include "monitoring/ChannelValue.h"
#include "monitoring/ValueFormat.h"
#include "settings/AnsiText.h"
#include "settings/KeloError.h"

#include <QRandomGenerator>

MonitoringEngine::MonitoringEngine(FrameSender& line, ReplyAssembler& assembler, Clock clock, Regional regional,
                                   SteadyClock steady, QObject* parent)
    : QObject(parent), m_line(line), m_assembler(assembler), m_clock(std::move(clock)),
      m_regional(std::move(regional)), m_steady(std::move(steady))
{
    connect(&m_line, &FrameSender::linkLost, this, &MonitoringEngine::linkLost);
    connect(&m_line, &FrameSender::linkResumed, this, &MonitoringEngine::linkResumed);
    connect(&m_line, &FrameSender::receiveStopped, this, &MonitoringEngine::receiveStopped);
}

void MonitoringEngine::setChannels(const QList<ChannelDef>& channels, const QString& headerName)
{
    m_channels = channels;
    m_headerName = headerName;
    m_values.assign(channels.size(), Value{});
    m_poll.reset(int(channels.size()));
    m_awaiting = false;
}

void MonitoringEngine::setPollTiming(int pollDelayMs, int responseTimeoutMs)
{
    m_pollDelayMs = pollDelayMs;
    m_responseTimeoutMs = responseTimeoutMs;
}

qint64 MonitoringEngine::msUntilTimeout() const
{
    return m_awaiting ? std::max<qint64>(0, m_responseTimeoutMs - sinceRequest()) : 0;
}

// ---- runs ------------------------------------------------------------------

void MonitoringEngine::start(const QString& recordPath, bool testMode, RecordFile::Naming naming)
{
    RecordFile next(recordPath, m_headerName, naming);
    QString error;
    if (!testMode) {
        try {
            next.create();
        } catch (const KeloError& e) {
            if (naming == RecordFile::Naming::Replace)
                throw;
            error = e.text(); // kept trying at every tick, as any write
        }
    }
    (void)m_record.sync(nullptr);
    if (m_record.pendingLines() > 0)
        m_backlog.push_back(m_record);
    // The file is made anew: what earlier runs owe it would land after this
    // run's header line, so it is dropped (the window asked the operator).
    std::erase_if(m_backlog, [&](const RecordFile& f) { return f.path() == next.path(); });
    m_record = next;
    m_fileMade = !testMode;
    m_testMode = testMode;
    // Nothing of an earlier run counts as measured in this one.
    m_poll.reset(channelCount());
    m_awaiting = false;
    m_skippedTicks = 0;
    m_droppedReplies = 0;
    m_slowSaid = false;
    m_schedule.start(m_clock(), m_samplingMs);
    clearValues();
    m_sendFailing = false;
    m_recordFailing = false; // a new run reports its own first failure
    m_running = true;
    if (m_record.made())
        Q_EMIT recordFileMade(m_record.path());
    if (!error.isEmpty())
        setRecordFailing(true, error);
}

void MonitoringEngine::stop()
{
    // A request still out stays awaited: its reply, arriving after Stop, is
    // still the channel's.
    m_running = false;
    (void)flushUnwritten();
    (void)m_record.sync(nullptr);
}

void MonitoringEngine::switchRecordFile(const QString& recordPath)
{
    RecordFile next(recordPath, m_headerName, RecordFile::Naming::Unique);
    QString error;
    if (m_fileMade) {
        try {
            next.create();
        } catch (const KeloError& e) {
            error = e.text();
        }
    }
    (void)m_record.sync(nullptr);
    if (m_record.pendingLines() > 0)
        m_backlog.push_back(m_record);
    m_record = next;
    if (m_record.made())
        Q_EMIT recordFileMade(m_record.path());
    if (!error.isEmpty())
        setRecordFailing(true, error);
}

void MonitoringEngine::clearValues()
{
    for (int c = 1; c <= channelCount(); ++c) {
        const bool wasLost = m_values[c - 1].lost;
        m_values[c - 1] = Value{};
        Q_EMIT valueChanged(c, QString());
        if (wasLost)
            Q_EMIT channelAnswering(c);
    }
}

// Test mode switched off during a run: test values are no measurements, and
// the record file is made now if the run began in test mode.
void MonitoringEngine::beginLive()
{
    clearValues();
    if (m_fileMade)
        return;
    m_fileMade = true;
    try {
        m_record.create();
        Q_EMIT recordFileMade(m_record.path());
    } catch (const KeloError& e) {
        setRecordFailing(true, e.text());
    }
}

// ---- the poll tick ---------------------------------------------------------

void MonitoringEngine::pollTick(bool testMode)
{
    if (channelCount() == 0)
        return;
    if (m_running && m_testMode && !testMode)
        beginLive();
    m_testMode = testMode;
    if (testMode)
        pollTest(m_poll.PollIdx());
    else
        pollLive(m_poll.PollIdx());
}

// Nothing is on the line in test mode: a random value, and the table filled
// once a cycle after each sampling tick.
void MonitoringEngine::pollTest(int p)
{
    forgetAwaited();
    const int v = int(QRandomGenerator::global()->bounded(100));
    Q_EMIT percentMeasured(p, v);
    if (m_poll.takeFill())
        setValue(p, formatValue(v, ValueFormat::Plain, m_regional), v);
    m_poll.advance();
}

// A live request still out when test mode begins is over: unanswered, and
// booked against its own channel, so a late reply is credited to nobody.
void MonitoringEngine::forgetAwaited()
{
    if (!m_awaiting)
        return;
    m_awaiting = false;
    Q_EMIT exchangeEnded(m_awaitedChannel, Outcome::Missed, 0);
}

void MonitoringEngine::pollLive(int p)
{
    if (m_awaiting) {
        if (sinceRequest() < m_responseTimeoutMs) {
            ++m_skippedTicks;
            Q_EMIT pollSkipped(m_awaitedChannel);
            return;
        }
        m_awaiting = false;
        Q_EMIT exchangeEnded(m_awaitedChannel, Outcome::Missed, 0);
    }
    if (m_poll.takeZeroDue())
        zero(p, false);
    sendRequest(p);
    m_poll.countRequest();
    m_poll.advance();
}

void MonitoringEngine::sendRequest(int p)
{
    const ChannelDef& c = channel(p);
    const QByteArray frame = BuildFrame(toAnsi(c.Addr + QStringLiteral("DRS,01,") + c.Reg));
    // A frame left half-collected by an earlier reply is no part of this one's.
    m_assembler.abandonPartialFrame();
    const FrameSender::Result result = m_line.send(frame);
    if (!result.sent) {
        if (!m_sendFailing) {
            m_sendFailing = true;
            Q_EMIT sendFailed(result.failure, result.cause);
        }
        return;
    }
    m_awaiting = true;
    m_awaitedChannel = p;
    m_requestAt = m_steady();
    Q_EMIT requestSent(p, frame);
    if (m_sendFailing) {
        m_sendFailing = false;
        Q_EMIT sendRecovered();
    }
}

// ---- replies ---------------------------------------------------------------

int MonitoringEngine::receive(const QByteArray& bytes)
{
    const QList<QByteArray> frames = m_assembler.Feed(bytes);
    for (const QByteArray& frame : frames)
        handleReply(frame);
    return int(frames.size());
}

void MonitoringEngine::handleReply(const QByteArray& frame)
{
    Q_EMIT replyReceived(frame);
    if (!m_awaiting || m_awaitedChannel < 1 || m_awaitedChannel > channelCount()) {
        drop(frame);
        return;
    }
    // A reply from another address (a late answer to an earlier request)
    // belongs to no channel; the request stays awaited.
    const int c = m_poll.replyChannel(QString::fromLatin1(frame), channel(m_awaitedChannel).Addr,
                                      m_awaitedChannel);
    if (c == 0) {
        drop(frame);
        return;
    }
    const bool ok = ReplyOk(frame);
    m_awaiting = false;
    const qint64 responseMs = sinceRequest();
    Q_EMIT exchangeEnded(c, ok ? Outcome::Ok : Outcome::Refused, responseMs);
    if (m_running && !m_slowSaid && m_pollDelayMs > 0 && responseMs > m_pollDelayMs) {
        m_slowSaid = true;
        Q_EMIT repliesSlowerThanPoll(responseMs, m_pollDelayMs);
    }
    if (!ok) {
        if (m_poll.refused(c))
            zero(c, true);
        return;
    }
    m_poll.answered(c);
    Value& v = m_values[c - 1];
    if (v.lost) {
        v.lost = false;
        Q_EMIT channelAnswering(c);
    }
    // A word cut short by the line is no measurement: four digits or nothing.
    const QString word = ReplyWord(frame, 1);
    if (word.size() != 4)
        return;
    if (const auto decoded = decodeChannelWord(word, channel(c), m_regional)) {
        v.measured = true;
        setValue(c, decoded->cellText, decoded->value);
        if (decoded->percent)
            Q_EMIT percentMeasured(c, *decoded->percent);
    }
}

void MonitoringEngine::setValue(int c, const QString& text, std::optional<double> value)
{
    m_values[c - 1].text = text;
    m_values[c - 1].value = value;
    Q_EMIT valueChanged(c, text);
}

void MonitoringEngine::drop(const QByteArray& frame)
{
    ++m_droppedReplies;
    Q_EMIT replyDropped(frame);
}

void MonitoringEngine::zero(int c, bool refused)
{
    setValue(c, QStringLiteral("0"), std::nullopt);
    Q_EMIT percentMeasured(c, 0);
    if (!m_values[c - 1].lost) {
        m_values[c - 1].lost = true;
        Q_EMIT channelLost(c, refused);
    }
}

// ---- the sampling tick -----------------------------------------------------

void MonitoringEngine::sampleTick(bool testMode)
{
    recordSample(takeSample(testMode));
}

MonitoringEngine::Sample MonitoringEngine::takeSample(bool testMode)
{
    if (m_running && m_testMode && !testMode)
        beginLive();
    m_testMode = testMode;
    Sample sample;
    sample.time = m_schedule.take(m_clock());
    sample.stamp = sampleStamp(sample.time, m_regional.dateSeparator);
    sample.testMode = testMode;
    Q_EMIT sampleStamped(sample.time, sample.stamp);
    m_poll.markSample();
    retryBacklog();
    return sample;
}

void MonitoringEngine::recordSample(const Sample& sample)
{
    if (sample.testMode || !m_running)
        return;
    record(sample.stamp);
    Q_EMIT sampleRecorded(sample.time);
}

void MonitoringEngine::record(const QString& stamp)
{
    QStringList fields{stamp};
    for (int c = 1; c <= channelCount(); ++c) {
        // A channel without a value records "0", and shows it from now on.
        if (m_values[c - 1].text.isEmpty())
            setValue(c, QStringLiteral("0"), std::nullopt);
        fields << m_values[c - 1].text;
    }
    QString error;
    const int madeBefore = m_record.timesMade();
    if (!m_record.append(sampleLine(fields), &error)) {
        setRecordFailing(true, error);
        return;
    }
    noteFileMade(madeBefore);
    if (m_backlog.empty())
        setRecordFailing(false);
}

void MonitoringEngine::setRecordFailing(bool failing, const QString& reason)
{
    if (failing == m_recordFailing)
        return;
    m_recordFailing = failing;
    if (failing)
        Q_EMIT recordFailed(reason);
    else
        Q_EMIT recordRecovered();
}

void MonitoringEngine::noteFileMade(int timesMadeBefore)
{
    if (m_record.timesMade() != timesMadeBefore)
        Q_EMIT recordFileMade(m_record.path());
}

void MonitoringEngine::retryBacklog()
{
    std::erase_if(m_backlog, [](RecordFile& f) { return f.retry(nullptr); });
}

// ---- kept-back lines -------------------------------------------------------

int MonitoringEngine::unwrittenLines() const
{
    int lines = m_record.pendingLines();
    for (const RecordFile& f : m_backlog)
        lines += f.pendingLines();
    return lines;
}

int MonitoringEngine::unwrittenLines(const QString& path) const
{
    int lines = m_record.path() == path ? m_record.pendingLines() : 0;
    for (const RecordFile& f : m_backlog)
        if (f.path() == path)
            lines += f.pendingLines();
    return lines;
}

QStringList MonitoringEngine::unwrittenFiles() const
{
    QStringList files;
    for (const RecordFile& f : m_backlog)
        files << f.path();
    if (m_record.pendingLines() > 0)
        files << m_record.path();
    files.removeDuplicates();
    return files;
}

void MonitoringEngine::dropUnwritten(const QString& path)
{
    std::erase_if(m_backlog, [&](const RecordFile& f) { return f.path() == path; });
    if (m_record.path() == path)
        m_record.dropPending();
    if (unwrittenLines() == 0)
        setRecordFailing(false);
}

bool MonitoringEngine::flushUnwritten()
{
    retryBacklog();
    const int madeBefore = m_record.timesMade();
    if (m_record.retry(nullptr))
        noteFileMade(madeBefore);
    const bool done = unwrittenLines() == 0;
    if (done)
        setRecordFailing(false);
    return done;
}
