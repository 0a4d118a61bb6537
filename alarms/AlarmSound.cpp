#include "alarms/AlarmSound.h"

#include <QApplication>
#include <QGuiApplication>
#include <QDataStream>
#include <QLoggingCategory>
#include <QProcess>
#include <QTimer>
#include <QtMath>

Q_LOGGING_CATEGORY(lcAlarmSound, "kelo.alarms.sound")

namespace {

bool g_muted = false; // until the program ends
QList<AlarmSound*> g_sounds;

} // namespace

AlarmSound::AlarmSound(QObject* parent) : QObject(parent), m_repeat(new QTimer(this))
{
    m_repeat->setInterval(kRepeatMs);
    connect(m_repeat, &QTimer::timeout, this, &AlarmSound::ringIfDue);
    m_ring = [this] { playTone(); };
    g_sounds << this;
}

AlarmSound::~AlarmSound()
{
    g_sounds.removeAll(this);
    if (m_player && m_player->state() != QProcess::NotRunning) {
        // A tone still playing is stopped without waiting for it: the
        // process object outlives the window until the child is reaped.
        m_player->disconnect(this);
        m_player->setParent(nullptr);
        connect(m_player, &QProcess::finished, m_player, &QObject::deleteLater);
        m_player->kill();
    }
}

void AlarmSound::setWanted(bool wanted)
{
    if (wanted == m_wanted)
        return;
    m_wanted = wanted;
    update();
}

void AlarmSound::setMuted(bool muted)
{
    if (muted == g_muted)
        return;
    g_muted = muted;
    for (AlarmSound* s : std::as_const(g_sounds)) {
        s->update();
        Q_EMIT s->mutedChanged(muted);
    }
}

bool AlarmSound::muted()
{
    return g_muted;
}

bool AlarmSound::sounding() const
{
    return m_repeat->isActive();
}

void AlarmSound::update()
{
    const bool on = m_wanted && !g_muted;
    if (on == m_repeat->isActive())
        return;
    if (on) {
        m_repeat->start();
        ringIfDue(); // the first beep at once
    } else {
        m_repeat->stop();
    }
}

void AlarmSound::ringIfDue()
{
    if (m_wanted && !g_muted && m_ring)
        m_ring();
}

void AlarmSound::playTone()
{
    // A window drawn off any screen (tests, tools) has no one to hear it.
    static const bool silent = QGuiApplication::platformName() == QLatin1String("offscreen")
        || QGuiApplication::platformName() == QLatin1String("minimal");
    if (silent)
        return;
    if (m_playerFailed) {
        QApplication::beep();
        return;
    }
    if (!m_player) {
        m_player = new QProcess(this);
        m_player->setProgram(QStringLiteral("aplay"));
        m_player->setArguments({QStringLiteral("-q"), QStringLiteral("-")});
        m_player->setStandardOutputFile(QProcess::nullDevice());
        m_player->setStandardErrorFile(QProcess::nullDevice());
        connect(m_player, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart)
                return;
            qCInfo(lcAlarmSound) << "aplay cannot be started; the bell rings instead";
            m_playerFailed = true;
            QApplication::beep();
        });
        connect(m_player, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
            if (status == QProcess::NormalExit && code == 0)
                return;
            qCInfo(lcAlarmSound) << "aplay failed with" << code << "; the bell rings instead";
            m_playerFailed = true;
        });
    }
    // A tone still playing (a slow sound server) is not stacked on.
    if (m_player->state() != QProcess::NotRunning)
        return;
    m_player->start();
    m_player->write(toneWave());
    m_player->closeWriteChannel();
}

QByteArray AlarmSound::toneWave()
{
    constexpr int kRate = 8000;
    constexpr int kSamples = kRate / 4; // a quarter second
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + kSamples * 2);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(kRate) << quint32(kRate * 2) << quint16(2)
        << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(kSamples * 2);
    for (int i = 0; i < kSamples; ++i) {
        // Faded in and out over 10 ms, so the beep does not click.
        const double fade = std::min({1.0, i / 80.0, (kSamples - i) / 80.0});
        out << qint16(qRound(9000 * fade * qSin(2 * M_PI * 880 * i / kRate)));
    }
    return data;
}
