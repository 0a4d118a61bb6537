#pragma once
#include "monitoring/ChannelSet.h"

#include <QString>

// Reads a channel set file for the monitoring window and refuses one that it
// could not fully use: a Sampling, Dot, Max, Min or Color that is not a whole
// number, no channel line, more than kMaxMonitoredChannels, a blank channel
// line. The KeloError names the file, the line and the field, so no later
// step meets a conversion error.
[[nodiscard]] ChannelSet readMonitoringChannelSet(const QString& path);

// The most channels the monitoring window loads: one channel is polled per
// poll tick, so 1,000 channels already take over three minutes a cycle at
// 200 ms, and the chart's cost per trace grows with the traces it holds.
inline constexpr int kMaxMonitoredChannels = 1000;

// The same checks on a set already read; `path` names it in the message.
void checkMonitoringChannelSet(const ChannelSet& set, const QString& path);
