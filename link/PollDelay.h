#pragma once
#include <QString>
#include <optional>

// The poll interval, Main.ini [Delay] Time, read one way by every owner.

// The longest poll interval accepted: beyond an hour nothing is monitored.
inline constexpr int kMaxPollDelayMs = 3'600'000;
// The value the port opener writes back when the key is empty.
inline constexpr int kDefaultPollDelayMs = 200;

// A whole number of milliseconds from 1 to kMaxPollDelayMs, else none.
[[nodiscard]] std::optional<int> parsePollDelay(const QString& text);

// [Delay] Time of the file at iniPath; an empty or missing key is the
// default. Never writes the file.
struct PollDelaySetting {
    QString text;           // as written ("" when missing)
    std::optional<int> ms;  // none when the text is no poll interval
};
[[nodiscard]] PollDelaySetting readPollDelay(const QString& iniPath);
