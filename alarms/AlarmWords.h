#pragma once
#include "alarms/AlarmTypes.h"

#include <QColor>
#include <QString>

// The words and colours the windows show alarms with. The files and the
// broker use the ASCII names of AlarmText; these are for the operator.
[[nodiscard]] QString kindWord(AlarmKind kind);         // 상한, 하한, 채널 끊김, …
[[nodiscard]] QString priorityWord(AlarmPriority priority); // 경보, 주의
[[nodiscard]] QString stateWord(AlarmState state);      // 정상, 발생·미확인, …

// Red for 경보, amber for 주의.
[[nodiscard]] QColor priorityColor(AlarmPriority priority);

[[nodiscard]] inline bool unacknowledged(AlarmState state)
{
    return state == AlarmState::ActiveUnacked || state == AlarmState::ReturnedUnacked;
}
[[nodiscard]] inline bool active(AlarmState state)
{
    return state == AlarmState::ActiveUnacked || state == AlarmState::ActiveAcked;
}
