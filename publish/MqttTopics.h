#pragma once
#include "monitoring/ChannelSet.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The topics of publishing and the rules they keep. Everything is checked
// before anything is published: a topic the broker would refuse, drop or
// take for another (a NUL cuts it short, "+" and "#" are wildcards, "$"
// starts the broker's own topics) never leaves the program.
//
// Under the prefix:
//   <prefix>/<Addr>/<Reg>           a channel's value (exactly two levels)
//   <prefix>/status                 connection: online / offline (last will)
//   <prefix>/state                  run state: running / stopped
//   <prefix>/channels               the channel list
//   <prefix>/health/station/<Addr>  bus health of one station (three levels)
// so <prefix>/+/+ receives values only and <prefix>/# everything.
namespace MqttTopics {

// MQTT 3.1.1: a topic is at most 65,535 bytes of UTF-8.
inline constexpr qsizetype kMaxTopicBytes = 65535;

// Why text cannot be one topic level, or "" when it can: no empty level, no
// "/", "+" or "#", no NUL or other control character (U+0000–U+001F,
// U+007F–U+009F), no Unicode non-character, no leading "$".
[[nodiscard]] QString levelProblem(const QString& level);
// The same for a prefix of one or more levels separated by "/"; its longest
// fixed topic (<prefix>/channels, or the prefix and longestSuffixBytes) must
// keep within kMaxTopicBytes.
[[nodiscard]] QString prefixProblem(const QString& prefix, qsizetype longestSuffixBytes = 0);

[[nodiscard]] QString status(const QString& prefix);
[[nodiscard]] QString state(const QString& prefix);
[[nodiscard]] QString channels(const QString& prefix);
[[nodiscard]] QString health(const QString& prefix, const QString& addr);

// The value topic of every channel of a set, in the set's order:
// <prefix>/<Addr>/<Reg>. A channel whose topic an earlier channel of the set
// already has (the same register at another scaling) gets "-2", "-3", ...
// appended to its Reg level: the first that is still free. Throws KeloError
// naming the channel's row when its Addr or Reg cannot be a topic level or
// its topics would be too long.
[[nodiscard]] QStringList channelTopics(const QString& prefix, const QList<ChannelDef>& channels);

// Home Assistant discovery: the config topic of a channel's sensor,
// <discoveryPrefix>/sensor/<objectId>/config, and the object id: the value
// topic with every character but [A-Za-z0-9_-] as "_" (at most 64 of them)
// and 8 hex digits of its SHA-1, so two topics never share one.
[[nodiscard]] QString objectId(const QString& valueTopic);
[[nodiscard]] QString discoveryConfig(const QString& discoveryPrefix, const QString& valueTopic);
// The bytes a config topic adds to the discovery prefix, at most.
[[nodiscard]] qsizetype discoveryConfigSuffixBytes();

} // namespace MqttTopics
