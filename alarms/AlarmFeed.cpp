#include "alarms/AlarmFeed.h"

#include "alarms/AlarmText.h"
#include "monitoring/MonitoringEngine.h"

#include <QLoggingCategory>

#include <algorithm>

Q_LOGGING_CATEGORY(lcAlarmFeed, "kelo.alarms.feed")

AlarmFeed::AlarmFeed(MonitoringEngine& engine, AlarmBook& book, Clock clock, SteadyClock steady, QObject* parent)
    : QObject(parent), m_engine(engine), m_book(book), m_clock(std::move(clock)), m_steady(std::move(steady))
{
    MonitoringEngine* e = &engine;
    connect(e, &MonitoringEngine::sampleRecorded, this, &AlarmFeed::sample);
    connect(e, &MonitoringEngine::channelLost, this, [this](int c, bool refused) {
        m_book.setCondition({c, AlarmKind::ChannelLost}, true, m_clock(),
                            refused ? QStringLiteral("the controller refuses to read the register (NG)")
                                    : QStringLiteral("no answer to three requests"));
    });
    connect(e, &MonitoringEngine::channelAnswering, this,
            [this](int c) { m_book.setCondition({c, AlarmKind::ChannelLost}, false, m_clock()); });
    connect(e, &MonitoringEngine::linkLost, this, [this](const QString& reason) {
        m_portGone = true;
        m_linkDetail = QStringLiteral("port gone: ") + reason;
        setLink();
    });
    connect(e, &MonitoringEngine::linkResumed, this, [this] {
        m_portGone = false;
        setLink();
    });
    connect(e, &MonitoringEngine::sendFailed, this, [this](const QString&, const QString& cause) {
        m_sendFailing = true;
        if (!m_portGone)
            m_linkDetail = QStringLiteral("sending failed: ") + cause;
        setLink();
    });
    connect(e, &MonitoringEngine::sendRecovered, this, [this] {
        m_sendFailing = false;
        setLink();
    });
    connect(e, &MonitoringEngine::recordFailed, this, [this](const QString& reason) {
        m_book.setCondition({0, AlarmKind::RecordFailing}, true, m_clock(), reason);
    });
    connect(e, &MonitoringEngine::recordRecovered, this,
            [this] { m_book.setCondition({0, AlarmKind::RecordFailing}, false, m_clock()); });
    connect(e, &MonitoringEngine::recordFileMade, this, &AlarmFeed::followRecord);
    connect(&book, &AlarmBook::changed, this, &AlarmFeed::logTransition);

    m_brokerTimer.setSingleShot(true);
    m_brokerTimer.setInterval(kBrokerAwayMs);
    connect(&m_brokerTimer, &QTimer::timeout, this, [this] {
        if (m_publishing && !m_brokerConnected)
            m_book.setCondition({0, AlarmKind::BrokerAway}, true, m_clock(),
                                QStringLiteral("the MQTT broker has been away for over a minute"));
    });
}

void AlarmFeed::setSettings(const AlarmSettings& settings)
{
    QStringList captions;
    captions.reserve(m_engine.channelCount());
    for (int c = 1; c <= m_engine.channelCount(); ++c)
        captions.append(m_engine.channel(c).Caption);
    m_book.setSettings(settings, captions);
}

void AlarmFeed::sample(const QDateTime& time)
{
    const int n = m_engine.channelCount();
    m_values.resize(size_t(n));
    m_lost.resize(size_t(n));
    for (int c = 1; c <= n; ++c) {
        m_values[size_t(c - 1)] = m_engine.value(c);
        m_lost[size_t(c - 1)] = m_engine.lost(c);
    }
    m_sampling = true;
    m_book.evaluate(time, m_steady(), m_values, m_lost);
    m_sampling = false;
    // The sample's changes in one go; kept lines get another chance at
    // every tick, not only with the next alarm.
    if (m_log.pendingLines() > 0) {
        QString error;
        const bool ok = m_log.retry(&error);
        writeLog(ok, error);
    }
}

// A new record file (a new run, the next day's file) gets its own alarm log.
// Alarms still listed when it begins are written at its top with the time
// they last changed, so its reader knows what was already in alarm.
void AlarmFeed::followRecord(const QString& recordPath)
{
    const QString path = alarmLogPath(recordPath);
    if (path == m_log.path())
        return;
    const bool carried = !m_log.path().isEmpty();
    m_log.setPath(path);
    if (!carried)
        return;
    QList<AlarmTransition> listed = m_book.listed();
    std::reverse(listed.begin(), listed.end());
    for (const AlarmTransition& t : listed)
        m_log.keep(t, m_book.caption(t.key.channel));
    QString error;
    const bool ok = m_log.retry(&error);
    writeLog(ok, error);
}

void AlarmFeed::setLink()
{
    m_book.setCondition({0, AlarmKind::LinkLost}, m_portGone || m_sendFailing, m_clock(), m_linkDetail);
}

void AlarmFeed::logTransition(const AlarmTransition& t)
{
    if (m_sampling) {
        m_log.keep(t, m_book.caption(t.key.channel));
        return;
    }
    QString error;
    const bool ok = m_log.append(t, m_book.caption(t.key.channel), &error);
    writeLog(ok, error);
}

void AlarmFeed::writeLog(bool ok, const QString& error)
{
    if (ok && m_logFailing) {
        m_logFailing = false;
        Q_EMIT logRecovered();
    } else if (!ok && !m_logFailing) {
        m_logFailing = true;
        qCWarning(lcAlarmFeed) << "alarm log failing:" << error;
        Q_EMIT logFailed(error);
    }
}

void AlarmFeed::setPublishing(bool on)
{
    m_publishing = on;
    setBrokerConnected(on ? m_brokerConnected : true);
}

void AlarmFeed::setBrokerConnected(bool connected)
{
    m_brokerConnected = connected;
    if (connected || !m_publishing) {
        m_brokerTimer.stop();
        m_book.setCondition({0, AlarmKind::BrokerAway}, false, m_clock());
    } else if (!m_brokerTimer.isActive() && !isActive(m_book.state({0, AlarmKind::BrokerAway}))) {
        m_brokerTimer.start();
    }
}
