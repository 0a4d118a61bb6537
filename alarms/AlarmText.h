#pragma once
#include "alarms/AlarmTypes.h"

#include <QString>
#include <optional>

// The ASCII names alarms are written with in the alarm file, the alarm log
// and the published JSON. The parse functions take exactly these names
// (no other case, no spaces) and give none for anything else.

[[nodiscard]] QString alarmKindName(AlarmKind kind);
[[nodiscard]] QString alarmPriorityName(AlarmPriority priority);
[[nodiscard]] QString alarmStateName(AlarmState state);

[[nodiscard]] std::optional<AlarmKind> parseAlarmKind(const QString& name);
[[nodiscard]] std::optional<AlarmPriority> parseAlarmPriority(const QString& name);
[[nodiscard]] std::optional<AlarmState> parseAlarmState(const QString& name);

// Whether the kind belongs to one channel's limits (High, Low).
[[nodiscard]] constexpr bool isLimitAlarm(AlarmKind kind)
{
    return kind == AlarmKind::High || kind == AlarmKind::Low;
}
// Whether the state is one an operator still has to acknowledge.
[[nodiscard]] constexpr bool isUnacknowledged(AlarmState state)
{
    return state == AlarmState::ActiveUnacked || state == AlarmState::ReturnedUnacked;
}
// Whether the condition holds in that state.
[[nodiscard]] constexpr bool isActive(AlarmState state)
{
    return state == AlarmState::ActiveUnacked || state == AlarmState::ActiveAcked;
}

// A limit or value as written to files: '.' decimal point, shortest exact form.
[[nodiscard]] QString alarmNumberText(double value);
