#include "alarms/AlarmText.h"

#include <QLocale>

#include <array>
#include <type_traits>
#include <utility>

namespace {

constexpr std::array kKinds{
    std::pair{AlarmKind::High, "high"},
    std::pair{AlarmKind::Low, "low"},
    std::pair{AlarmKind::ChannelLost, "channel_lost"},
    std::pair{AlarmKind::LinkLost, "link_lost"},
    std::pair{AlarmKind::RecordFailing, "record_failing"},
    std::pair{AlarmKind::BrokerAway, "broker_away"},
};
constexpr std::array kPriorities{
    std::pair{AlarmPriority::Alarm, "alarm"},
    std::pair{AlarmPriority::Warning, "warning"},
};
constexpr std::array kStates{
    std::pair{AlarmState::Normal, "normal"},
    std::pair{AlarmState::ActiveUnacked, "active_unacked"},
    std::pair{AlarmState::ActiveAcked, "active_acked"},
    std::pair{AlarmState::ReturnedUnacked, "returned_unacked"},
};

template <typename Table, typename T>
QString nameIn(const Table& table, T value)
{
    for (const auto& [v, name] : table)
        if (v == value)
            return QString::fromLatin1(name);
    return {};
}

template <typename Table>
auto parseIn(const Table& table, const QString& name) -> std::optional<std::remove_cvref_t<decltype(table[0].first)>>
{
    for (const auto& [v, n] : table)
        if (name == QLatin1String(n))
            return v;
    return std::nullopt;
}

} // namespace

QString alarmKindName(AlarmKind kind)
{
    return nameIn(kKinds, kind);
}

QString alarmPriorityName(AlarmPriority priority)
{
    return nameIn(kPriorities, priority);
}

QString alarmStateName(AlarmState state)
{
    return nameIn(kStates, state);
}

std::optional<AlarmKind> parseAlarmKind(const QString& name)
{
    return parseIn(kKinds, name);
}

std::optional<AlarmPriority> parseAlarmPriority(const QString& name)
{
    return parseIn(kPriorities, name);
}

std::optional<AlarmState> parseAlarmState(const QString& name)
{
    return parseIn(kStates, name);
}

QString alarmNumberText(double value)
{
    // The shortest text that reads back to the value, never an exponent
    // (the alarm file's reader takes plain decimals) nor the locale's comma.
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}
