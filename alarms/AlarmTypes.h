#pragma once
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// The value types alarms travel as: between the alarm file beside a channel
// set, the alarm book that tracks states, the alarm log beside a record
// file, and whoever shows or publishes them.

enum class AlarmPriority { Alarm, Warning }; // 경보, 주의

enum class AlarmKind {
    High,          // a channel's value above its high limit
    Low,           // a channel's value below its low limit
    ChannelLost,   // a channel zeroed by the miss rule
    LinkLost,      // the port gone or sending failed
    RecordFailing, // record lines kept back
    BrokerAway,    // the MQTT broker away for longer than a minute
};

// The plant convention: an alarm stays listed until it has both returned
// and been acknowledged; acknowledging never clears a condition that holds.
enum class AlarmState { Normal, ActiveUnacked, ActiveAcked, ReturnedUnacked };

// One channel's limits, in the channel's displayed units (after Dot).
struct ChannelAlarmDef {
    std::optional<double> high;
    std::optional<double> low;
    double hysteresis = 0;  // a raised limit alarm returns only past limit ∓ hysteresis
    int onDelaySeconds = 0; // the condition must hold this long before it is raised
    AlarmPriority priority = AlarmPriority::Alarm;

    [[nodiscard]] bool any() const { return high || low; }
    friend bool operator==(const ChannelAlarmDef&, const ChannelAlarmDef&) = default;
};

// The alarm settings of a set: one entry per channel, in the set's order
// (entry i belongs to channel i + 1). An empty list: system alarms only.
struct AlarmSettings {
    QList<ChannelAlarmDef> channels;

    friend bool operator==(const AlarmSettings&, const AlarmSettings&) = default;
};

// Which alarm: a channel's High or Low (channel from 1), or a system alarm
// (channel 0, except ChannelLost, which names its channel).
struct AlarmKey {
    int channel = 0;
    AlarmKind kind = AlarmKind::LinkLost;

    friend bool operator==(const AlarmKey&, const AlarmKey&) = default;
};

// One change of an alarm's state, as logged, listed and published.
struct AlarmTransition {
    QDateTime time;
    AlarmKey key;
    AlarmPriority priority = AlarmPriority::Alarm;
    AlarmState state = AlarmState::Normal;
    std::optional<double> value; // the channel's value when it changed
    std::optional<double> limit; // the limit crossed (High/Low)
    QString detail;              // system alarms: the reason in words
};
