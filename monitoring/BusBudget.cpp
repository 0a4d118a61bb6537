#include "monitoring/BusBudget.h"

QString BusBudget::refreshText() const
{
    if (neverReads())
        return QStringLiteral("갱신 주기: Delay %1 msec이면 채널을 읽지 않습니다.").arg(pollDelayMs);
    return QStringLiteral("갱신 주기: 채널 %1개 × Delay %2 msec = 채널마다 %3 msec에 한 번 읽음 (Sampling %4 msec)")
        .arg(channels)
        .arg(pollDelayMs)
        .arg(refreshMs())
        .arg(samplingMs);
}

QString BusBudget::repeatNotice() const
{
    if (!recordsRepeat())
        return {};
    if (neverReads())
        return QStringLiteral("Delay %1 msec이면 채널을 읽지 않아, 기록에는 읽지 않은 값만 남습니다.").arg(pollDelayMs);
    return QStringLiteral("채널 %1개 × Delay %2 msec = %3 msec마다 읽습니다. Sampling %4 msec보다 길어"
                          " 기록에 같은 값이 반복됩니다.")
        .arg(channels)
        .arg(pollDelayMs)
        .arg(refreshMs())
        .arg(samplingMs);
}
