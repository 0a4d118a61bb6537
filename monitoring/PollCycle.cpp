#include "monitoring/PollCycle.h"

#include "settings/FuncP.h"

void PollCycle::reset(int channelCount)
{
    m_missCount = QList<int>(qMax(channelCount, 0), 0);
    m_pollIdx = 1;
    m_lastPolled = 0;
    m_fillActive = false;
    m_cycleEnd = 0;
}

int PollCycle::MissCount(int channel) const
{
    return valid(channel) ? m_missCount[channel - 1] : 0;
}

bool PollCycle::takeZeroDue()
{
    if (!valid(m_pollIdx) || m_missCount[m_pollIdx - 1] != kMissLimit)
        return false;
    m_missCount[m_pollIdx - 1] = 0;
    return true;
}

void PollCycle::countRequest()
{
    if (valid(m_pollIdx) && m_missCount[m_pollIdx - 1] < kMissLimit)
        ++m_missCount[m_pollIdx - 1];
}

bool PollCycle::takeFill()
{
    if (!m_fillActive)
        return false;
    if (m_pollIdx == m_cycleEnd)
        m_fillActive = false;
    return true;
}

void PollCycle::advance()
{
    if (channelCount() == 0)
        return;
    m_lastPolled = m_pollIdx;
    m_pollIdx = m_pollIdx + 1 > channelCount() ? 1 : m_pollIdx + 1;
}

void PollCycle::markSample()
{
    m_fillActive = true;
    m_cycleEnd = m_pollIdx - 1 == 0 ? channelCount() : m_pollIdx - 1;
}

int PollCycle::replyChannel(const QString& frame, const QString& awaitedAddr, int awaitedChannel) const
{
    if (!valid(awaitedChannel))
        return 0;
    return frame.mid(1, 2) == PadLeft(awaitedAddr, QStringLiteral("0"), 2) ? awaitedChannel : 0;
}

void PollCycle::answered(int channel)
{
    if (valid(channel))
        m_missCount[channel - 1] = 0;
}

bool PollCycle::refused(int channel)
{
    if (!valid(channel) || m_missCount[channel - 1] != kMissLimit)
        return false;
    m_missCount[channel - 1] = 0;
    return true;
}
