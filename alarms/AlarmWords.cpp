#include "alarms/AlarmWords.h"

QString kindWord(AlarmKind kind)
{
    switch (kind) {
    case AlarmKind::High:
        return QStringLiteral("상한");
    case AlarmKind::Low:
        return QStringLiteral("하한");
    case AlarmKind::ChannelLost:
        return QStringLiteral("채널 끊김");
    case AlarmKind::LinkLost:
        return QStringLiteral("통신 끊김");
    case AlarmKind::RecordFailing:
        return QStringLiteral("기록 실패");
    case AlarmKind::BrokerAway:
        return QStringLiteral("브로커 끊김");
    }
    return {};
}

QString priorityWord(AlarmPriority priority)
{
    return priority == AlarmPriority::Warning ? QStringLiteral("주의") : QStringLiteral("경보");
}

QString stateWord(AlarmState state)
{
    switch (state) {
    case AlarmState::Normal:
        return QStringLiteral("정상");
    case AlarmState::ActiveUnacked:
        return QStringLiteral("발생·미확인");
    case AlarmState::ActiveAcked:
        return QStringLiteral("발생·확인");
    case AlarmState::ReturnedUnacked:
        return QStringLiteral("복귀·미확인");
    }
    return {};
}

QColor priorityColor(AlarmPriority priority)
{
    return priority == AlarmPriority::Warning ? QColor(0xff, 0xb0, 0x00) : QColor(0xd8, 0x10, 0x10);
}
