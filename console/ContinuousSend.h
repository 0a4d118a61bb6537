#pragma once
#include <QList>

// The console's continuous mode: which ticked address is sent to on each tick,
// and whether a failed send is the first of the run. Positions 0 to 30 stand
// for the addresses 01 to 31.
class ContinuousSend {
public:
    inline static constexpr int kAddresses = 31;

    // A new run: no address sent yet, no failure reported yet.
    void start();

    // Steps to the next ticked position after the last one sent to, starting
    // again at the lowest after the highest; -1 when nothing is ticked. The
    // result is remembered as the position last sent to.
    int next(const QList<bool>& ticked);

    [[nodiscard]] int sendIdx() const { return m_sendIdx; }

    // True for the first failed send of the run only, so an unplugged line
    // raises one error box rather than one per tick.
    [[nodiscard]] bool firstFailure();

private:
    int m_sendIdx = -1;
    bool m_failureReported = false;
};
