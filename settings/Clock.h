#pragma once
#include <QDateTime>
#include <functional>

// Windows take the time from a clock handed to them, so tests can fix it.
using Clock = std::function<QDateTime()>;

[[nodiscard]] inline Clock systemClock()
{
    return [] { return QDateTime::currentDateTime(); };
}
