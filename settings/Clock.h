#pragma once
#include <QDateTime>
#include <chrono>
#include <functional>

// Windows take the time from a clock handed to them, so tests can fix it.
using Clock = std::function<QDateTime()>;

[[nodiscard]] inline Clock systemClock()
{
    return [] { return QDateTime::currentDateTime(); };
}

// Milliseconds on a clock that never steps, for waits and time-outs; the
// wall clock above is only for what is shown and stamped.
using SteadyClock = std::function<qint64()>;

[[nodiscard]] inline SteadyClock steadyClock()
{
    return [] {
        return qint64(std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count());
    };
}
