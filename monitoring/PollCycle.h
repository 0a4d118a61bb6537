#pragma once
#include <QList>
#include <QString>

// The bookkeeping of the poll cycle: which channel the next tick serves
// (PollIdx), which one the latest tick served (LastPolled), the requests each
// channel has left unanswered (MissCount) and the test-mode markers that let
// one full cycle after each sampling tick refresh the value cells
// (FillActive, CycleEnd). Channels are numbered from 1.
class PollCycle {
public:
    static constexpr int kMissLimit = 3;

    // A new channel set of n channels: counts zeroed, nothing polled yet.
    void reset(int channelCount);

    [[nodiscard]] int channelCount() const { return int(m_missCount.size()); }
    [[nodiscard]] int PollIdx() const { return m_pollIdx; }
    [[nodiscard]] int LastPolled() const { return m_lastPolled; }
    [[nodiscard]] int MissCount(int channel) const;
    [[nodiscard]] bool FillActive() const { return m_fillActive; }
    [[nodiscard]] int CycleEnd() const { return m_cycleEnd; }

    // Live tick, before the request: true when the channel due has three
    // requests without an "OK" and is to be zeroed; its count is then 0.
    [[nodiscard]] bool takeZeroDue();
    // Live tick, after the request: one more unanswered request.
    void countRequest();
    // Test tick: true when this tick writes its value into the table; the
    // tick of channel CycleEnd is the last one that does.
    [[nodiscard]] bool takeFill();
    // Last step of every tick: LastPolled := PollIdx, PollIdx moves on.
    void advance();
    // Sampling tick: the next full cycle, from the channel due, fills the table.
    void markSample();

    // The channel a reply belongs to: the awaited channel when the reply's
    // address (characters 2 and 3) is that channel's address, else 0. A late
    // reply from the controller polled before is so kept off the next channel.
    [[nodiscard]] int replyChannel(const QString& frame, const QString& awaitedAddr, int awaitedChannel) const;
    // An "OK" reply for the channel.
    void answered(int channel);
    // A refusal for the channel: true when it answers the third unanswered
    // request, so the channel is zeroed; its count is then 0.
    [[nodiscard]] bool refused(int channel);

private:
    [[nodiscard]] bool valid(int channel) const { return channel >= 1 && channel <= channelCount(); }

    QList<int> m_missCount;
    int m_pollIdx = 1;
    int m_lastPolled = 0;
    bool m_fillActive = false;
    int m_cycleEnd = 0;
};
