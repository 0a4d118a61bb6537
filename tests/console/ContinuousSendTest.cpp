#include "console/ContinuousSend.h"

#include <gtest/gtest.h>

namespace {

QList<bool> ticked(std::initializer_list<int> addresses)
{
    QList<bool> list(ContinuousSend::kAddresses, false);
    for (int a : addresses)
        list[a - 1] = true;
    return list;
}

QStringList run(ContinuousSend& send, const QList<bool>& list, int ticks)
{
    QStringList sent;
    for (int i = 0; i < ticks; ++i) {
        const int idx = send.next(list);
        sent << (idx < 0 ? QStringLiteral("-") : QStringLiteral("%1").arg(idx + 1, 2, 10, QLatin1Char('0')));
    }
    return sent;
}

} // namespace

TEST(ContinuousSend, TickedAddressesAreVisitedInAscendingOrderOnePerTick)
{
    struct Case {
        std::initializer_list<int> addresses;
        QStringList expected;
    };
    const Case cases[] = {
        {{3, 7}, {"03", "07", "03", "07", "03"}},
        {{31}, {"31", "31", "31"}},
        {{1}, {"01", "01"}},
        {{}, {"-", "-", "-"}},
        {{31, 1, 16}, {"01", "16", "31", "01"}},
    };
    for (const Case& c : cases) {
        ContinuousSend send;
        send.start();
        const QList<bool> list = ticked(c.addresses);
        EXPECT_EQ(run(send, list, int(c.expected.size())), c.expected);
    }
}

TEST(ContinuousSend, AddressTickedMidRunJoinsFromTheNextPass)
{
    ContinuousSend send;
    send.start();
    EXPECT_EQ(run(send, ticked({3, 7}), 1), QStringList{"03"});
    // 05 comes between 03 and 07 while 03 was the last sent.
    EXPECT_EQ(run(send, ticked({3, 5, 7}), 5), (QStringList{"05", "07", "03", "05", "07"}));
    // Unticking the only remaining address sends nothing, ticking again resumes.
    EXPECT_EQ(run(send, ticked({}), 2), (QStringList{"-", "-"}));
    EXPECT_EQ(run(send, ticked({7}), 2), (QStringList{"07", "07"}));
}

TEST(ContinuousSend, OnlyTheFirstFailureOfARunIsReported)
{
    ContinuousSend send;
    send.start();
    EXPECT_TRUE(send.firstFailure());
    EXPECT_FALSE(send.firstFailure());
    EXPECT_FALSE(send.firstFailure());
    send.start();
    EXPECT_EQ(send.sendIdx(), -1);
    EXPECT_TRUE(send.firstFailure());
}
