#include "recorder/Recorder.h"

#include "link/ComPort.h"
#include "link/FrameProtocol.h"
#include "link/ReplyAssembler.h"
#include "monitoring/ChannelSetCheck.h"
#include "monitoring/MonitoringEngine.h"
#include "monitoring/RecordFile.h"
#include "recorder/MqttEngineFeed.h"
#include "recorder/MqttPublisher.h"
#include "recorder/MqttSettings.h"
#include "recorder/RecorderLine.h"
#include "settings/Convert.h"
#include "settings/IniFile.h"
#include "settings/KeloError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The assembler of the recorder's one port; it lives as long as the program.
ReplyAssembler& recorderAssembler()
{
    static ReplyAssembler assembler;
    return assembler;
}

QString lineSettingsText(const TComPortSettings& s)
{
    const QString baud = s.BaudRate == brCustom ? QString::number(s.CustomBaudRate) : BaudRateToStr(s.BaudRate);
    return QStringList{baud, ParityToStr(s.Parity), DataBitsToStr(s.DataBits), StopBitsToStr(s.StopBits)}.join(
        QLatin1Char(','));
}

bool sameBytes(const QString& a, const QString& b)
{
    QFile fa(a), fb(b);
    return fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly) && fa.readAll() == fb.readAll();
}

} // namespace

Recorder::Recorder(RecorderOptions options, Clock clock, Regional regional, Log log, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_clock(std::move(clock)), m_regional(std::move(regional)),
      m_log(std::move(log)), m_port(std::make_unique<TComPort>())
{
    m_port->setObjectName(QStringLiteral("ComPort1"));
    m_engine = new MonitoringEngine(*m_port, recorderAssembler(), m_clock, m_regional, this);
    connect(m_port.get(), &TComPort::OnRxChar, this,
            [this](QObject*, int count) { (void)m_engine->receive(m_port->ReadText(count)); });
    connect(&m_pollTimer, &QTimer::timeout, this, &Recorder::pollTick);
    connect(&m_sampleTimer, &QTimer::timeout, this, &Recorder::sampleTick);
    m_openTimer.setInterval(TComPort::kReopenIntervalMs);
    connect(&m_openTimer, &QTimer::timeout, this, &Recorder::tryOpen);
    connectEngine();
}

Recorder::~Recorder()
{
    m_publisher.reset();
    delete m_engine; // before the port it listens to
    m_engine = nullptr;
}

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
        const QString time = IniFile(ini).read(QStringLiteral("Delay"), QStringLiteral("Time"));
        const auto ms = time.isEmpty() ? std::optional<int>(200) : parseInt32(time);
        if (!ms || *ms <= 0)
            return QStringLiteral("[Delay] Time in %1 is no poll interval: \"%2\"").arg(ini, time);
        m_delayMs = *ms;
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
    m_engine->setChannels(m_set.channels, headerName);
    preparePublishing();
    m_outDir = m_options.outDir.isEmpty() ? QFileInfo(m_options.setPath).absolutePath()
                                          : QDir(m_options.outDir).absolutePath();
    return copySetToOut();
}

// The data viewer looks for the set beside the record file.
QString Recorder::copySetToOut()
{
    if (!QDir().mkpath(m_outDir))
        return QStringLiteral("Cannot make the folder \"%1\" for the record files").arg(m_outDir);
    const QFileInfo set(m_options.setPath);
    if (QFileInfo(m_outDir).canonicalFilePath() == set.absoluteDir().canonicalPath())
        return {};
    const QString target = QDir(m_outDir).filePath(set.fileName());
    if (QFileInfo::exists(target)) {
        if (sameBytes(target, set.absoluteFilePath()))
            return {};
        return QStringLiteral("A different channel set file \"%1\" is already in %2; the record files would name "
                              "it. Move it away or choose another --out folder.")
            .arg(set.fileName(), m_outDir);
    }
    if (!QFile::copy(set.absoluteFilePath(), target))
        return QStringLiteral("Cannot copy the channel set file to \"%1\"").arg(target);
    return {};
}

// A broker that cannot be used is said once; the recording goes on without it.
void Recorder::preparePublishing()
{
    if (m_options.mqttUrl.isEmpty())
        return;
    const MqttSettings settings{m_options.mqttUrl, m_options.mqttUser, m_options.mqttPasswordFile,
                                m_options.mqttCaFile};
    try {
        m_publisher = std::make_unique<MqttPublisher>(settings);
    } catch (const KeloError& e) {
        m_log(QStringLiteral("MQTT: %1; recording without publishing").arg(e.text()));
        return;
    }
    feedPublisher(*m_engine, *m_publisher);
    connect(m_publisher.get(), &MqttPublisher::stateChanged, this, [this](MqttPublisher::State, const QString& message) {
        m_log(QStringLiteral("MQTT %1: %2").arg(m_publisher->endpoint().displayUrl(), message));
    });
}

QString Recorder::newRecordPath(const QDateTime& time) const
{
    return QDir(m_outDir).filePath(proposedRecordName(m_set.Title, time));
}

QString Recorder::recordPath() const
{
    return m_engine->recordPath();
}

int Recorder::replyTimeoutMs() const
{
    return m_delayMs;
}

QString Recorder::start(bool runTimers)
{
    m_runTimers = runTimers;
    const QDateTime now = m_clock();
    const QString path = newRecordPath(now);
    try {
        m_engine->start(path, false);
    } catch (const KeloError& e) {
        return e.text();
    }
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
              .arg(path));
    tryOpen();
    if (m_publisher)
        m_publisher->start();
    if (runTimers) {
        // Paced by replies, the first request need not wait a poll interval.
        const bool byReply = m_options.pace == RecorderOptions::Pace::Reply;
        m_pollTimer.setSingleShot(byReply);
        m_pollTimer.start(byReply ? 0 : m_delayMs);
        m_sampleTimer.start(m_samplingMs);
    }
    return {};
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
        const bool delivered = m_publisher->flush(MqttPublisher::kShutdownWaitMs);
        const auto c = m_publisher->counters();
        if (!delivered || c.dropped > 0)
            m_log(QStringLiteral("MQTT: %1 messages not delivered, %2 dropped while the broker was away")
                      .arg(c.queued + c.inFlight)
                      .arg(c.dropped));
        m_publisher.reset();
    }
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
        m_pollTimer.start(m_port->Connected() && !m_port->LinkLost() ? replyTimeoutMs() : m_delayMs);
}

void Recorder::sampleTick()
{
    m_engine->sampleTick(false);
}

QString Recorder::channelName(int c) const
{
    const ChannelDef& d = m_engine->channel(c);
    return QStringLiteral("channel %1 (address %2, register %3, %4)").arg(c).arg(d.Addr, d.Reg, d.Caption);
}

void Recorder::connectEngine()
{
    MonitoringEngine* e = m_engine;
    connect(e, &MonitoringEngine::sampled, this, [this](const QDateTime& time, const QString&) {
        // The sample stamped at or after midnight opens the new day's file.
        if (!m_options.rotateDaily || time.date() == m_fileDate)
            return;
        m_fileDate = time.date();
        const QString path = newRecordPath(time);
        m_engine->switchRecordFile(path);
        m_log(QStringLiteral("new record file %1").arg(path));
    });
    connect(e, &MonitoringEngine::exchangeEnded, this, [this](int, MonitoringEngine::Outcome outcome, qint64) {
        if (m_runTimers && m_options.pace == RecorderOptions::Pace::Reply && outcome != MonitoringEngine::Outcome::Missed
            && m_pollTimer.isActive())
            m_pollTimer.start(0);
    });
    connect(e, &MonitoringEngine::channelLost, this,
            [this](int c) { m_log(channelName(c) + QStringLiteral(" lost: no answer to three requests")); });
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
    connect(e, &MonitoringEngine::sendFailed, this, [this](const QString& reason) {
        if (!m_sendFailing)
            m_log(QStringLiteral("sending failed: %1").arg(reason));
        m_sendFailing = true;
    });
    connect(e, &MonitoringEngine::sendRecovered, this, [this] {
        m_sendFailing = false;
        m_log(QStringLiteral("sending works again"));
    });
    connect(e, &MonitoringEngine::linkLost, this,
            [this](const QString& reason) { m_log(QStringLiteral("link lost: %1").arg(reason)); });
    connect(e, &MonitoringEngine::linkResumed, this, [this] { m_log(QStringLiteral("link back")); });
    if (m_options.verbose) {
        connect(e, &MonitoringEngine::requestSent, this,
                [this](int, const QByteArray& frame) { m_log(TrafficLogLine(TrafficDirection::Sent, frame)); });
        connect(e, &MonitoringEngine::replyReceived, this,
                [this](const QByteArray& frame) { m_log(TrafficLogLine(TrafficDirection::Received, frame)); });
    }
}
