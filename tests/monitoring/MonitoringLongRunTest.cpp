// What a monitoring run that goes on for hours must not accumulate.
#include "MonitoringWindowFixture.h"

using LongRun = MonitoringWindowTest;

// Regression: the traffic log kept every line while it was shown, about
// 115 MB an hour at a 50 ms poll cycle, until the program ran out of memory.
TEST_F(LongRun, TrafficLogShownForHoursKeepsItsNewestLinesInsteadOfGrowingWithoutBound)
{
    portAt(line.slavePath(), "50", "73");
    open();
    load(threeChannelSet());
    start();
    window->spbViewClick();
    ASSERT_FALSE(memo()->isHidden());

    const int ticks = TMonitoringF::kTrafficLogLines + 50;
    for (int t = 1; t <= ticks; ++t) {
        (void)tick();
        if (t % 200 == 0) {
            QCoreApplication::processEvents();
            (void)line.readAvailable();
        }
    }
    const auto sent = [](int tickNumber) {
        const QByteArray addr = "0" + QByteArray::number((tickNumber - 1) % 3 + 1);
        return QString("[송신]=> <STX>") + QString::fromLatin1(addr) + "DRS,01,0001";
    };
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), TMonitoringF::kTrafficLogLines);
    EXPECT_EQ(lines.first(), sent(51));     // the 50 oldest lines went
    EXPECT_EQ(lines[1], sent(52));
    EXPECT_EQ(lines.last(), sent(ticks));   // and logging goes on

    // The reply after the last request still reaches the log, at its end.
    answer(reply("03", "OK", "0064"));
    EXPECT_EQ(logLines().size(), TMonitoringF::kTrafficLogLines);
    EXPECT_EQ(logLines().last(), "[수신]=> <STX>03DRS,OK,0064");
}
