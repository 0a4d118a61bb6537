#include "recorder/ServiceNotifier.h"

#include "link/ComPort.h"
#include "monitoring/MonitoringEngine.h"
#include "publish/MqttPublisher.h"
#include "recorder/Recorder.h"

#include <systemd/sd-daemon.h>

#include <cstring>

namespace {

// A status per sample at most once a second: a fast set samples ten times a
// second, and systemctl status is read by people.
constexpr qint64 kStatusIntervalMs = 1000;

QString brokerText(MqttPublisher::State state)
{
    switch (state) {
    case MqttPublisher::State::Idle: return QStringLiteral("not started");
    case MqttPublisher::State::Connecting: return QStringLiteral("connecting");
    case MqttPublisher::State::Connected: return QStringLiteral("connected");
    case MqttPublisher::State::Away: return QStringLiteral("away, retrying");
    case MqttPublisher::State::Refused: return QStringLiteral("refused, retrying");
    }
    return {};
}

} // namespace

ServiceNotifier::ServiceNotifier(Recorder& recorder, Log log, QObject* parent)
    : QObject(parent), m_recorder(recorder), m_log(std::move(log))
{
    MonitoringEngine& e = recorder.engine();
    connect(&e, &MonitoringEngine::sampleRecorded, this, [this](const QDateTime& time) {
        m_lastSample = time;
        ++m_samples;
        sendStatus(false);
    });
    for (auto change : {&MonitoringEngine::linkLost, &MonitoringEngine::recordFailed})
        connect(&e, change, this, [this] { sendStatus(true); });
    connect(&e, &MonitoringEngine::sendFailed, this, [this] { sendStatus(true); });
    for (auto change : {&MonitoringEngine::linkResumed, &MonitoringEngine::recordRecovered,
                        &MonitoringEngine::sendRecovered})
        connect(&e, change, this, [this] { sendStatus(true); });
    if (MqttPublisher* p = recorder.publisher())
        connect(p, &MqttPublisher::stateChanged, this, [this] { sendStatus(true); });

    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        m_watchdog.setInterval(int(std::max<uint64_t>(usec / 2000, 1)));
        connect(&m_watchdog, &QTimer::timeout, this, [this] { notify(QStringLiteral("WATCHDOG=1")); });
    }
}

void ServiceNotifier::ready()
{
    notify(QStringLiteral("READY=1\nSTATUS=") + statusText());
    m_sinceStatus.start();
    if (m_watchdog.interval() > 0) {
        notify(QStringLiteral("WATCHDOG=1"));
        m_watchdog.start();
    }
}

void ServiceNotifier::stopping()
{
    m_watchdog.stop();
    notify(QStringLiteral("STOPPING=1\nSTATUS=stopping: writing the kept-back lines"));
}

QString ServiceNotifier::statusText() const
{
    MonitoringEngine& e = m_recorder.engine();
    QStringList parts;
    parts << (m_lastSample.isValid()
                  ? QStringLiteral("last sample %1").arg(m_lastSample.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                  : QStringLiteral("no sample yet"));
    const int kept = e.unwrittenLines();
    QString written = QStringLiteral("%1 lines written").arg(std::max<qint64>(m_samples - kept, 0));
    if (kept > 0 || e.recordFailing())
        written += QStringLiteral(", %1 kept back (recording fails)").arg(kept);
    parts << written;

    const TComPort& port = m_recorder.port();
    QString link = !port.Connected() ? QStringLiteral("port not open")
                   : port.LinkLost() ? QStringLiteral("link lost")
                                     : QStringLiteral("link up");
    int lost = 0;
    for (int c = 1; c <= e.channelCount(); ++c)
        lost += e.lost(c) ? 1 : 0;
    if (lost > 0)
        link += QStringLiteral(", %1 of %2 channels silent").arg(lost).arg(e.channelCount());
    parts << link;
    if (const MqttPublisher* p = m_recorder.publisher())
        parts << QStringLiteral("broker %1").arg(brokerText(p->state()));
    return parts.join(QStringLiteral("; "));
}

void ServiceNotifier::sendStatus(bool stateChanged)
{
    if (!m_sinceStatus.isValid() || (!stateChanged && m_sinceStatus.elapsed() < kStatusIntervalMs))
        return;
    m_sinceStatus.restart();
    notify(QStringLiteral("STATUS=") + statusText());
}

void ServiceNotifier::notify(const QString& state)
{
    const int result = sd_notify(0, state.toUtf8().constData());
    // 0: not a service. A failure is said once; the recording goes on.
    if (result < 0 && !m_failureLogged) {
        m_log(QStringLiteral("cannot tell systemd how the service is doing: %1")
                  .arg(QString::fromLocal8Bit(std::strerror(-result))));
        m_failureLogged = true;
    }
}
