#include "monitoring/PollCycle.h"

#include <gtest/gtest.h>

namespace {

// One live tick as the window runs it; returns "p" or "p0" when the channel
// was zeroed before its request.
std::string liveTick(PollCycle& cycle)
{
    const int p = cycle.PollIdx();
    const bool zero = cycle.takeZeroDue();
    cycle.countRequest();
    cycle.advance();
    return std::to_string(p) + (zero ? "0" : "");
}

} // namespace

TEST(PollCycle, ServesChannelsInTurnAndZeroesASilentOneEveryThirdRequest)
{
    PollCycle cycle;
    cycle.reset(3);
    EXPECT_EQ(cycle.LastPolled(), 0);
    std::vector<std::string> seen;
    // Channels 1 and 3 answer every request; channel 2 is silent.
    for (int tick = 0; tick < 30; ++tick) {
        seen.push_back(liveTick(cycle));
        if (cycle.LastPolled() != 2)
            cycle.answered(cycle.LastPolled());
    }
    const std::vector<std::string> expected = {
        "1", "2", "3", "1", "2", "3", "1", "2", "3", "1", "20", "3", // 4th request of channel 2
        "1", "2", "3", "1", "2", "3", "1", "20", "3", "1", "2", "3", // 7th
        "1", "2", "3", "1", "20", "3",                               // 10th
    };
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(cycle.MissCount(1), 0);
    EXPECT_EQ(cycle.MissCount(2), 1);
}

TEST(PollCycle, ARefusalZeroesOnlyWhenItAnswersTheThirdUnansweredRequest)
{
    PollCycle cycle;
    cycle.reset(1);
    (void)liveTick(cycle);
    (void)liveTick(cycle);
    EXPECT_EQ(cycle.MissCount(1), 2);
    EXPECT_FALSE(cycle.refused(1));
    EXPECT_EQ(cycle.MissCount(1), 2);   // a refusal does not count as a miss
    (void)liveTick(cycle);
    EXPECT_TRUE(cycle.refused(1));
    EXPECT_EQ(cycle.MissCount(1), 0);
    EXPECT_EQ(liveTick(cycle), "1");     // not zeroed again at the next request
    cycle.answered(1);
    EXPECT_EQ(cycle.MissCount(1), 0);
}

TEST(PollCycle, RepliesBelongToTheAwaitedChannelOnlyWhenTheAddressMatches)
{
    PollCycle cycle;
    cycle.reset(2);
    const QString stx = QStringLiteral("\x02");
    EXPECT_EQ(cycle.replyChannel(stx + "01DRS,OK,0064\r\n", "01", 0), 0); // nothing awaited
    EXPECT_EQ(cycle.replyChannel(stx + "01DRS,OK,0064\r\n", "01", 1), 1);
    EXPECT_EQ(cycle.replyChannel(stx + "01DRS,OK,0064\r\n", "1", 1), 1);    // Addr as typed, unpadded
    EXPECT_EQ(cycle.replyChannel(stx + "02DRS,OK,0064\r\n", "01", 1), 0);   // late reply of another controller
    EXPECT_EQ(cycle.replyChannel(stx + "0", "01", 1), 0);
    EXPECT_EQ(cycle.replyChannel(stx + "01DRS,OK,0064\r\n", "01", 3), 0);   // no such channel in the set
}

TEST(PollCycle, SamplingMarksOneFullCycleFromTheChannelDue)
{
    struct Case {
        int ticksBefore;   // poll ticks between Start and the sampling tick
        int cycleEnd;
        std::vector<int> filled;  // channels whose ticks fill the table afterwards
    };
    const Case cases[] = {
        {0, 3, {1, 2, 3}},
        {1, 1, {2, 3, 1}},
        {2, 2, {3, 1, 2}},
        {3, 3, {1, 2, 3}},
    };
    for (const auto& c : cases) {
        PollCycle cycle;
        cycle.reset(3);
        EXPECT_FALSE(cycle.takeFill());
        for (int i = 0; i < c.ticksBefore; ++i)
            cycle.advance();
        cycle.markSample();
        EXPECT_EQ(cycle.CycleEnd(), c.cycleEnd);
        std::vector<int> filled;
        for (int i = 0; i < 6; ++i) {
            const int p = cycle.PollIdx();
            if (cycle.takeFill())
                filled.push_back(p);
            cycle.advance();
        }
        EXPECT_EQ(filled, c.filled) << c.ticksBefore;
        EXPECT_FALSE(cycle.FillActive());
    }
}
