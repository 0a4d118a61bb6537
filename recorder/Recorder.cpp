#include "recorder/Recorder.h"

#include "alarms/AlarmBook.h"
#include "alarms/AlarmFeed.h"
#include "alarms/AlarmFile.h"
#include "alarms/AlarmText.h"
#include "link/ComPort.h"
#include "link/ComPortSender.h"
#include "link/FrameProtocol.h"
#include "link/PollDelay.h"
#include "link/ReplyAssembler.h"
#include "monitoring/ChannelSetCheck.h"
#include "monitoring/MonitoringEngine.h"
#include "monitoring/RecordFile.h"
#include "publish/MqttAlarmFeed.h"
#include "publish/MqttEngineFeed.h"
#include "publish/MqttPublisher.h"
#include "publish/MqttSettings.h"
#include "recorder/RecorderLine.h"
#include "settings/Convert.h"
#include "settings/IniFile.h"
#include "settings/KeloError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

QString lineSettingsText(const TComPortSettings& s)
{
    const QString baud = s.BaudRate == brCustom ? QString::number(s.CustomBaudRate) : BaudRateToStr(s.BaudRate);
    return QStringList{baud, ParityToStr(s.Parity), DataBitsToStr(s.DataBits), StopBitsToStr(s.StopBits)}.join(
        QLatin1Char(','));
}

// A channel whose request could not be a frame a controller answers: the
// message names its row (row 1 is the first channel, line 2 of the file).
QString unpollableChannelText(const ChannelSet& set)
{
    static const QRegularExpression address(QStringLiteral("^[0-9]{2}$"));
    static const QRegularExpression reg(QStringLiteral("^[0-9]{4}$"));
    for (qsizetype k = 0; k < set.channels.size(); ++k) {
        const ChannelDef& c = set.channels[k];
        const auto row = QStringLiteral("channel row %1 (line %2, \"%3\")").arg(k + 1).arg(k + 2).arg(c.Caption);
        if (!address.match(c.Addr).hasMatch())
            return QStringLiteral("%1: the address \"%2\" is not two decimal digits (01 to 99)").arg(row, c.Addr);
        if (!reg.match(c.Reg).hasMatch())
            return QStringLiteral("%1: the register \"%2\" is not four decimal digits (a \";\" in a caption "
                                  "shifts the fields after it)")
                .arg(row, c.Reg);
    }
    return {};
}

bool sameBytes(const QString& a, const QString& b)
{
    QFile fa(a), fb(b);
    return fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly) && fa.readAll() == fb.readAll();
}

} // namespace

Recorder::Recorder(RecorderOptions options, Clock clock, Regional regional, Log log, SteadyClock steady,
                   QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_clock(std::move(clock)), m_regional(std::move(regional)),
      m_log(std::move(log)), m_port(std::make_unique<TComPort>())
{
    m_port->setObjectName(QStringLiteral("ComPort1"));
    m_sender = std::make_unique<ComPortSender>(*m_port);
    m_engine = std::make_unique<MonitoringEngine>(*m_sender, m_assembler, m_clock, m_regional, steady);
    connect(m_port.get(), &TComPort::OnRxChar, this,
            [this](QObject*, int count) { (void)m_engine->receive(m_port->ReadText(count)); });
    connect(&m_pollTimer, &QTimer::timeout, this, &Recorder::pollTick);
    connect(&m_sampleTimer, &QTimer::timeout, this, &Recorder::sampleTick);
    m_openTimer.setInterval(TComPort::kReopenIntervalMs);
    connect(&m_openTimer, &QTimer::timeout, this, &Recorder::tryOpen);
    connectEngine();
    m_alarms = std::make_unique<AlarmBook>();
    m_alarmFeed = std::make_unique<AlarmFeed>(*m_engine, *m_alarms, m_clock, std::move(steady));
    connect(m_alarms.get(), &AlarmBook::changed, this, &Recorder::logAlarm);
    connect(m_alarmFeed.get(), &AlarmFeed::logFailed, this, [this](const QString& reason) {
        m_log(QStringLiteral("alarm log failed: %1; its lines are kept and written once writing works again")
                  .arg(reason));
    });
    connect(m_alarmFeed.get(), &AlarmFeed::logRecovered, this,
            [this] { m_log(QStringLiteral("alarm log works again; every kept line is written")); });
}

Recorder::~Recorder() = default;

QString Recorder::prepare()
{
    const QString programDir =
        m_options.programDir.isEmpty() ? QCoreApplication::applicationDirPath() : m_options.programDir;
    const QString ini = QDir(programDir).filePath(QStringLiteral("Main.ini"));
    m_line = loadRecorderLine(programDir, !m_options.programDir.isEmpty(), m_options);
    if (!m_line.refusal.isEmpty())
        return m_line.refusal;
    m_port->settings() = m_line.settings;
    if (m_options.delayMs) {
        m_delayMs = *m_options.delayMs;
    } else {
        const PollDelaySetting delay = readPollDelay(ini);
        if (!delay.ms)
            return QStringLiteral("[Delay] Time in %1 is no poll interval from 1 to %2 ms: \"%3\"")
                .arg(ini)
                .arg(kMaxPollDelayMs)
                .arg(delay.text);
        m_delayMs = *delay.ms;
    }

    if (!QFileInfo(m_options.setPath).isFile())
        return QStringLiteral("%1: no such channel set file").arg(m_options.setPath);
    try {
        m_set = readMonitoringChannelSet(m_options.setPath);
    } catch (const KeloError& e) {
        return e.text();
    }
    const QString headerName = QFileInfo(m_options.setPath).fileName();
    if (const QString refusal = unrecordableSetNameText(headerName); !refusal.isEmpty())
        return refusal;
    m_samplingMs = parseInt32(m_set.Sampling).value_or(0);
    if (m_samplingMs <= 0)
        return QStringLiteral("%1: the sampling interval \"%2\" is no time to record at")
            .arg(m_options.setPath, m_set.Sampling);
    if (const QString refusal = unpollableChannelText(m_set); !refusal.isEmpty())
        return QStringLiteral("%1: %2").arg(m_options.setPath, refusal);
    // The longest name a run can make: the title, its start time and "_9999".
    const QString longest = QStringLiteral("%1_%2_9999.kmr").arg(m_set.Title, QStringLiteral("20000101000000"));
    if (QFile::encodeName(longest).size() > kMaxFileNameBytes)
        return QStringLiteral("%1: the title \"%2…\" makes record file names longer than %3 bytes; shorten it")
            .arg(m_options.setPath, m_set.Title.left(40))
            .arg(kMaxFileNameBytes);
    m_engine->setChannels(m_set.channels, headerName);
    m_engine->setSamplingInterval(m_samplingMs);
    setPollTiming();
    prepareAlarms();
    if (const QString refusal = preparePublishing(); !refusal.isEmpty())
        return refusal;
    m_outDir = m_options.outDir.isEmpty() ? QFileInfo(m_options.setPath).absolutePath()
                                          : QDir(m_options.outDir).absolutePath();
    return setCopyRefusal();
}

// A delay shorter than an exchange on the line would only skip ticks: it is
// raised to the exchange time, and the log says so.
void Recorder::setPollTiming()
{
    const int exchange = pollExchangeMs(m_port->settings(), m_set.channels);
    if (m_delayMs < exchange) {
        m_log(QStringLiteral("poll interval %1 ms is shorter than a request and its reply take on the line at %2 "
                             "(%3 ms); raised to %3 ms")
                  .arg(m_delayMs)
                  .arg(lineSettingsText(m_port->settings()))
                  .arg(exchange));
        m_delayMs = exchange;
    }
    const int asked = m_options.responseTimeoutMs.value_or(kDefaultResponseTimeoutMs);
    m_responseTimeoutMs = responseTimeoutMs(asked, exchange);
    if (m_responseTimeoutMs != asked)
        m_log(QStringLiteral("reply time-out %1 ms is too short for the line; %2 ms is used")
                  .arg(asked)
                  .arg(m_responseTimeoutMs));
    // Paced by replies, ticks are never skipped for a slow controller.
    m_engine->setPollTiming(m_options.pace == RecorderOptions::Pace::Reply ? 0 : m_delayMs, m_responseTimeoutMs);
}

// Only a different set of the same name in --out refuses the run; a folder
// that cannot be made or written yet is a fault the run outlives.
QString Recorder::setCopyRefusal() const
{
    const QFileInfo set(m_options.setPath);
    const QString target = QDir(m_outDir).filePath(set.fileName());
    if (QFileInfo(m_outDir).canonicalFilePath() == set.absoluteDir().canonicalPath() || !QFileInfo::exists(target)
        || sameBytes(target, set.absoluteFilePath()))
        return {};
    return QStringLiteral("A different channel set file \"%1\" is already in %2; the record files would name "
                          "it. Move it away or choose another --out folder.")
        .arg(set.fileName(), m_outDir);
}

// The data viewer looks for the set beside the record files: it is put
// there whenever a record file is made, so a folder deleted and made again
// gets it back. A failure is said once and tried again with the next file.
void Recorder::copySetToOut()
{
    const QFileInfo set(m_options.setPath);
    const QString target = QDir(m_outDir).filePath(set.fileName());
    if (QFileInfo(m_outDir).canonicalFilePath() == set.absoluteDir().canonicalPath())
        return;
    // The limits go with it, so the data viewer can draw them.
    const QString alarms = alarmFilePath(set.absoluteFilePath());
    const QString alarmsTarget = alarmFilePath(target);
    if (QFileInfo::exists(alarms) && !QFileInfo::exists(alarmsTarget))
        (void)QFile::copy(alarms, alarmsTarget);
    if (QFileInfo::exists(target))
        return;
    QFile source(set.absoluteFilePath());
    if (source.copy(target)) {
        m_setCopyFailureLogged = false;
        return;
    }
    if (!m_setCopyFailureLogged)
        m_log(QStringLiteral("cannot copy the channel set file to \"%1\": %2; the data viewer needs it beside the "
                             "record files")
                  .arg(target, source.errorString()));
    m_setCopyFailureLogged = true;
}

// MQTT options that cannot serve, or a set whose channels cannot be topics,
// are refused like any bad argument; a broker that fails while running is a
// state the log tells.
QString Recorder::preparePublishing()
{
    if (m_options.mqttUrl.isNull()) {
        const std::pair<MqttSetting, const QString*> others[] = {
            {MqttSetting::User, &m_options.mqttUser},           {MqttSetting::PasswordFile, &m_options.mqttPasswordFile},
            {MqttSetting::CaFile, &m_options.mqttCaFile},       {MqttSetting::Discovery, &m_options.mqttDiscovery},
            {MqttSetting::Unit, &m_options.mqttUnit}};
        for (const auto& [setting, value] : others)
            if (!value->isNull())
                return QStringLiteral("%1 needs --mqtt URL").arg(mqttOptionName(setting));
        return {};
    }
    const MqttSettings settings{m_options.mqttUrl, m_options.mqttUser, m_options.mqttPasswordFile,
                                m_options.mqttCaFile, m_options.mqttDiscovery, m_options.mqttUnit};
    try {
        m_publisher = std::make_unique<MqttPublisher>(settings);
    } catch (const MqttSettingsError& e) {
        return e.optionLine();
    }
    if (const QString problem = m_publisher->setProblem(m_set); !problem.isEmpty()) {
        m_publisher.reset();
        return QStringLiteral("--mqtt: ") + QString(problem).replace(QLatin1Char('\n'), QLatin1Char(' '));
    }
    feedPublisher(*m_engine, *m_publisher);
    m_mqttAlarms = std::make_unique<MqttAlarmFeed>(*m_alarmFeed, *m_publisher);
    connect(m_publisher.get(), &MqttPublisher::stateChanged, this, [this](MqttPublisher::State, const QString& message) {
        m_log(QStringLiteral("MQTT %1: %2").arg(m_publisher->endpoint().displayUrl(), message));
    });
    return {};
}

QString Recorder::newRecordPath(const QDateTime& time) const
{
    return QDir(m_outDir).filePath(proposedRecordName(m_set.Title, time));
}

QString Recorder::recordPath() const
{
    return m_engine->recordPath();
}

void Recorder::start(bool runTimers)
{
    m_runTimers = runTimers;
    const QDateTime now = m_clock();
    // A folder that cannot be made now is tried again with every write.
    (void)QDir().mkpath(m_outDir);
    m_engine->start(newRecordPath(now), false, RecordFile::Naming::Unique);
    m_fileDate = now.date();
    const TComPortSettings& s = m_port->settings();
    m_log(QStringLiteral("recording: port %1 (%2), poll %3 ms, pace %4; set %5 (%6 channels, sampling %7 ms); "
                         "record file %8")
              .arg(TComPort::devicePath(s.Port) + m_line.portNote, lineSettingsText(s) + m_line.settingsNote)
              .arg(m_delayMs)
              .arg(m_options.pace == RecorderOptions::Pace::Reply ? QStringLiteral("reply") : QStringLiteral("fixed"),
                   QFileInfo(m_options.setPath).absoluteFilePath())
              .arg(m_set.channels.size())
              .arg(m_samplingMs)
              .arg(recordPath()));
    m_announcedPath = recordPath();
    m_started = true;
    tryOpen();
    if (m_publisher) {
        (void)m_publisher->beginRun(m_set); // checked by prepare()
        m_mqttAlarms->beginRun(m_set);
        m_publisher->start();
    }
    if (runTimers) {
        // Paced by replies, the first request need not wait a poll interval.
        const bool byReply = m_options.pace == RecorderOptions::Pace::Reply;
        m_pollTimer.setSingleShot(byReply);
        m_pollTimer.start(byReply ? 0 : m_delayMs);
        // Ticks on time to the millisecond; the stamps keep their own grid.
        m_sampleTimer.setTimerType(Qt::PreciseTimer);
        m_sampleTimer.start(m_samplingMs);
    }
}

void Recorder::tryOpen()
{
    try {
        m_port->OpenPort();
    } catch (const KeloError& e) {
        if (!m_openFailureLogged)
            m_log(QStringLiteral("port %1 does not open: %2; trying again every second%3")
                      .arg(TComPort::devicePath(m_port->settings().Port), e.text(),
                           m_line.portDefaulted ? QStringLiteral(" (no port is configured: give --port)")
                                                : QString()));
        m_openFailureLogged = true;
        m_openTimer.start();
        return;
    }
    m_openTimer.stop();
    if (m_openFailureLogged)
        m_log(QStringLiteral("port %1 is open").arg(TComPort::devicePath(m_port->settings().Port)));
    m_openFailureLogged = false;
}

int Recorder::finish()
{
    m_pollTimer.stop();
    m_sampleTimer.stop();
    m_openTimer.stop();
    m_engine->stop();
    if (m_publisher) {
        m_publisher->endRun();
        const bool delivered = m_publisher->flush(MqttPublisher::kShutdownWaitMs);
        const auto c = m_publisher->counters();
        if (!delivered || c.dropped > 0)
            m_log(QStringLiteral("MQTT: %1 messages not delivered, %2 dropped while the broker was away")
                      .arg(c.queued + c.inFlight)
                      .arg(c.dropped));
        m_publisher.reset();
    }
    if (m_engine->skippedTicks() > 0 || m_engine->droppedReplies() > 0)
        logBusCounts(true);
    const int lost = m_engine->unwrittenLines();
    if (lost > 0) {
        m_log(QStringLiteral("stopped: %1 sample lines could not be written and are lost (%2)")
                  .arg(lost)
                  .arg(m_engine->unwrittenFiles().join(QStringLiteral(", "))));
        return 1;
    }
    m_log(QStringLiteral("stopped; every sample line is in %1").arg(recordPath()));
    return 0;
}

// ---- the ticks -------------------------------------------------------------

void Recorder::pollTick()
{
    // Nothing is sent until the port is open; the sampling goes on and
    // records the silent channels as the miss rule has them.
    if (m_port->Connected())
        m_engine->pollTick(false);
    // With --pace reply the next request waits for this one's reply, at most
    // the time-out; without a request out, the poll interval.
    if (m_runTimers && m_options.pace == RecorderOptions::Pace::Reply)
        m_pollTimer.start(m_engine->awaiting() ? int(std::max<qint64>(1, m_engine->msUntilTimeout())) : m_delayMs);
}

// The new day's file is switched to between the slot's stamp and its line,
// so the first line of a day is the first line of that day's file.
void Recorder::sampleTick()
{
    const MonitoringEngine::Sample sample = m_engine->takeSample(false);
    switchFileForNewDay(sample.time);
    m_engine->recordSample(sample);
}

void Recorder::switchFileForNewDay(const QDateTime& slot)
{
    if (!m_options.rotateDaily || slot.date() == m_fileDate)
        return;
    m_fileDate = slot.date();
    const QString path = newRecordPath(slot);
    m_engine->switchRecordFile(path);
    m_log(QStringLiteral("new record file %1").arg(path));
}

// The port stopped announcing replies: closed and opened again once the
// handler that stopped it has returned; tryOpen keeps trying every second.
void Recorder::reopenAfterReceiveStop(const QString& reason)
{
    m_log(QStringLiteral("receiving stopped: %1; opening the port %2 again")
              .arg(reason, TComPort::devicePath(m_port->settings().Port)));
    QTimer::singleShot(0, this, [this] {
        try {
            m_port->ClosePort();
        } catch (const KeloError&) {
            // The device is released either way.
        }
        m_openFailureLogged = false;
        tryOpen();
        if (m_port->Connected())
            m_log(QStringLiteral("port %1 is open").arg(TComPort::devicePath(m_port->settings().Port)));
    });
}

// The counts since start, at most once every ten minutes while they grow.
void Recorder::logBusCounts(bool now)
{
    constexpr qint64 kEveryMs = 10 * 60 * 1000;
    if (!now && m_busCountsSaid.isValid() && m_busCountsSaid.elapsed() < kEveryMs)
        return;
    if (!now && !m_busCountsSaid.isValid()) {
        m_busCountsSaid.start(); // the first one was said in full
        return;
    }
    m_busCountsSaid.start();
    m_log(QStringLiteral("bus since start: %1 poll ticks skipped while a reply was awaited, %2 replies dropped "
                         "that answered no request")
              .arg(m_engine->skippedTicks())
              .arg(m_engine->droppedReplies()));
}

// The limits beside the set. A missing file means system alarms only; a
// broken one is said and the run goes on with system alarms only.
void Recorder::prepareAlarms()
{
    const QString path = alarmFilePath(QFileInfo(m_options.setPath).absoluteFilePath());
    const AlarmFileRead read = readAlarmFile(path, m_set);
    if (!read.problem.isEmpty())
        m_log(QStringLiteral("alarm file not used, system alarms only: ")
              + QString(read.problem).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    m_alarmFeed->setSettings(read.settings);
    const auto limited = std::count_if(read.settings.channels.begin(), read.settings.channels.end(),
                                       [](const ChannelAlarmDef& d) { return d.any(); });
    if (limited > 0)
        m_log(QStringLiteral("alarm limits of %1 channels from %2").arg(limited).arg(path));
}

// One line per raise and return:
//   alarm high raised: channel 1 (address 01, register 0001, Zone 1) at 61.2, limit 40 (alarm)
//   alarm link_lost returned
void Recorder::logAlarm(const AlarmTransition& t)
{
    QString what;
    switch (t.state) {
    case AlarmState::ActiveUnacked: what = QStringLiteral("raised"); break;
    case AlarmState::ActiveAcked: what = QStringLiteral("acknowledged"); break;
    // Nobody acknowledges in kelorec: Normal comes only from a return.
    case AlarmState::ReturnedUnacked:
    case AlarmState::Normal: what = QStringLiteral("returned"); break;
    }
    QString line = QStringLiteral("alarm %1 %2").arg(alarmKindName(t.key.kind), what);
    if (t.key.channel > 0 && t.key.channel <= m_engine->channelCount())
        line += QStringLiteral(": ") + channelName(t.key.channel);
    if (t.value)
        line += QStringLiteral(" at %1").arg(alarmNumberText(*t.value));
    if (t.limit)
        line += QStringLiteral(", limit %1").arg(alarmNumberText(*t.limit));
    line += QStringLiteral(" (%1)").arg(alarmPriorityName(t.priority));
    if (!t.detail.isEmpty())
        line += QStringLiteral(": ") + t.detail;
    m_log(line);
}

QString Recorder::channelName(int c) const
{
    const ChannelDef& d = m_engine->channel(c);
    return QStringLiteral("channel %1 (address %2, register %3, %4)").arg(c).arg(d.Addr, d.Reg, d.Caption);
}

void Recorder::connectEngine()
{
    MonitoringEngine* e = m_engine.get();
    connect(e, &MonitoringEngine::exchangeEnded, this, [this](int, MonitoringEngine::Outcome outcome, qint64) {
        if (m_runTimers && m_options.pace == RecorderOptions::Pace::Reply && outcome != MonitoringEngine::Outcome::Missed
            && m_pollTimer.isActive())
            m_pollTimer.start(0);
    });
    connect(e, &MonitoringEngine::channelLost, this, [this](int c, bool refused) {
        m_log(channelName(c)
              + (refused ? QStringLiteral(" lost: the controller refuses to read the register (NG)")
                         : QStringLiteral(" lost: no answer to three requests")));
    });
    connect(e, &MonitoringEngine::pollSkipped, this, [this](int awaited) {
        if (m_engine->skippedTicks() == 1)
            m_log(QStringLiteral("poll tick skipped: %1 has not answered yet; ticks are skipped until it answers "
                                 "or %2 ms pass")
                      .arg(channelName(awaited))
                      .arg(m_responseTimeoutMs));
        logBusCounts();
    });
    connect(e, &MonitoringEngine::replyDropped, this, [this](const QByteArray& frame) {
        if (m_engine->droppedReplies() == 1)
            m_log(QStringLiteral("reply dropped: %1 answers no request that is out (late, or from another "
                                 "address)")
                      .arg(QString::fromLatin1(frame.trimmed().mid(1))));
        logBusCounts();
    });
    connect(e, &MonitoringEngine::repliesSlowerThanPoll, this, [this](qint64 responseMs, int delayMs) {
        m_log(QStringLiteral("replies take %1 ms, longer than the poll interval of %2 ms: ticks are skipped, so "
                             "each channel is read less often than the interval says")
                  .arg(responseMs)
                  .arg(delayMs));
    });
    connect(e, &MonitoringEngine::recordFileMade, this, [this](const QString& path) {
        copySetToOut();
        if (m_started && path != m_announcedPath)
            m_log(QStringLiteral("record file %1 made").arg(path));
        m_announcedPath = path;
    });
    connect(e, &MonitoringEngine::channelAnswering, this, [this](int c) {
        if (m_engine->running())
            m_log(channelName(c) + QStringLiteral(" answers again"));
    });
    connect(e, &MonitoringEngine::recordFailed, this, [this](const QString& reason) {
        m_log(QStringLiteral("recording failed: %1; the sample lines are kept and written in order once writing "
                             "works again")
                  .arg(reason));
    });
    connect(e, &MonitoringEngine::recordRecovered, this,
            [this] { m_log(QStringLiteral("recording works again; every kept line is written")); });
    connect(e, &MonitoringEngine::sendFailed, this, [this](const QString&, const QString& cause) {
        m_log(QStringLiteral("sending failed: %1").arg(cause));
    });
    connect(e, &MonitoringEngine::sendRecovered, this, [this] { m_log(QStringLiteral("sending works again")); });
    connect(e, &MonitoringEngine::linkLost, this, [this] {
        m_log(QStringLiteral("link lost: the serial device %1 is gone; trying to open it again every second")
                  .arg(TComPort::devicePath(m_port->settings().Port)));
    });
    connect(e, &MonitoringEngine::linkResumed, this, [this] { m_log(QStringLiteral("link back")); });
    connect(e, &MonitoringEngine::receiveStopped, this, &Recorder::reopenAfterReceiveStop);
    if (m_options.verbose) {
        connect(e, &MonitoringEngine::requestSent, this,
                [this](int, const QByteArray& frame) { m_log(TrafficLogLine(TrafficDirection::Sent, frame)); });
        connect(e, &MonitoringEngine::replyReceived, this,
                [this](const QByteArray& frame) { m_log(TrafficLogLine(TrafficDirection::Received, frame)); });
    }
}
