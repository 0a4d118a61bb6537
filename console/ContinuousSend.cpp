#include "console/ContinuousSend.h"

void ContinuousSend::start()
{
    m_sendIdx = -1;
    m_failureReported = false;
}

int ContinuousSend::next(const QList<bool>& ticked)
{
    const int last = int(ticked.size()) - 1;
    auto firstTicked = [&](int from) {
        for (int i = from; i <= last; ++i)
            if (ticked[i])
                return i;
        return -1;
    };
    int found = firstTicked(m_sendIdx + 1);
    if (found < 0)
        found = firstTicked(0);
    m_sendIdx = found;
    return m_sendIdx;
}

bool ContinuousSend::firstFailure()
{
    if (m_failureReported)
        return false;
    m_failureReported = true;
    return true;
}
