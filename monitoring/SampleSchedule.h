#pragma once
#include <QDateTime>

// The time each sampling tick stands for. The ticks come from a timer on the
// steady clock while stamps are wall-clock times; where the two are out of
// phase by just under a second, jitter alone would give one second two
// stamps and the next none. So each tick takes the next slot of a grid laid
// from the run's start at the sampling interval, and the grid keeps its
// phase: only a tick more than half an interval off its slot (the wall clock
// was set, or the machine stalled) moves to the slot nearest its time.
class SampleSchedule {
public:
    void start(const QDateTime& startTime, int intervalMs);
    // The slot of the tick that runs at `now`.
    [[nodiscard]] QDateTime take(const QDateTime& now);

private:
    qint64 m_originMs = 0;
    int m_intervalMs = 0;
    qint64 m_slot = 0;
    bool m_started = false;
};
