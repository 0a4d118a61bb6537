#include "monitoring/SampleSchedule.h"

#include <cmath>

void SampleSchedule::start(const QDateTime& startTime, int intervalMs)
{
    m_originMs = startTime.toMSecsSinceEpoch();
    m_intervalMs = intervalMs;
    m_slot = 0;
    m_started = startTime.isValid() && intervalMs > 0;
}

QDateTime SampleSchedule::take(const QDateTime& now)
{
    if (!m_started)
        return now;
    const qint64 nowMs = now.toMSecsSinceEpoch();
    const qint64 next = m_slot + 1;
    const qint64 off = nowMs - (m_originMs + next * m_intervalMs);
    if (2 * std::llabs(off) <= m_intervalMs)
        m_slot = next;
    else
        m_slot = std::llround(double(nowMs - m_originMs) / m_intervalMs);
    // Moved from `now`, so the stamp keeps the clock's time zone.
    return now.addMSecs(m_originMs + m_slot * m_intervalMs - nowMs);
}
