#pragma once
#include "alarms/AlarmTypes.h"
#include "monitoring/ChannelSet.h"

#include <QString>

// The alarm file beside a channel set: the set's limits, kept out of the
// .khd (whose bytes other programs read) in a UTF-8 INI file of their own.
//
//   ; Alarm limits of the channel set Furnace.khd, in each channel's displayed units
//   [Channel 1]
//   Addr=01
//   Reg=0001
//   High=850.0
//   Low=
//   Hysteresis=2.0
//   Delay=5
//   Priority=alarm
//
// One section per channel with a limit, numbered in the set's order; Addr and
// Reg must be that channel's, so a set changed without its alarms is not
// matched to the wrong registers. Lines end in LF or CR LF; ';' starts a
// comment line; numbers take a '.' decimal point.

// "Furnace.khd" -> "Furnace.alarms.ini" (appended when the name has no ".khd").
[[nodiscard]] QString alarmFilePath(const QString& setPath);

struct AlarmFileRead {
    AlarmSettings settings; // one entry per channel of the set, or none
    QString problem;        // why the file was not taken (the run goes on with system alarms only)
};

// No file: no limits and no problem. A file that cannot be read, is broken
// or does not match the set: no limits and a message naming the file and
// the line.
[[nodiscard]] AlarmFileRead readAlarmFile(const QString& path, const ChannelSet& set);

// Writes the limits of the set's channels (a temporary file renamed over the
// old one, so never half a file); with no limit at all it removes the alarm
// file instead. Throws KeloError with the reason.
void writeAlarmFile(const QString& path, const AlarmSettings& settings, const ChannelSet& set);

// Why a channel's definition cannot be kept (High not above Low, a negative
// hysteresis, a delay outside 0..kMaxAlarmDelaySeconds, a number that is not
// finite), or "" when it can.
[[nodiscard]] QString alarmDefProblem(const ChannelAlarmDef& def);

inline constexpr int kMaxAlarmDelaySeconds = 86400;
// A longer file is no alarm file (1,000 channels take about 100 kB).
inline constexpr qint64 kMaxAlarmFileBytes = 4 * 1024 * 1024;
