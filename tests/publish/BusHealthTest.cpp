#include "publish/BusHealth.h"

#include "link/FrameProtocol.h"
#include "link/ReplyAssembler.h"
#include "monitoring/MonitoringEngine.h"
#include "publish/MqttEngineFeed.h"
#include "publish/MqttPublisher.h"
#include "tests/support/ScriptedLine.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

TEST(BusHealth, CountsAndTimesEachAddressOnItsOwn)
{
    BusHealth health;
    health.request("01");
    health.reply("01", true, 40);
    health.request("02");
    health.reply("02", false, 25);   // a refusal
    health.skipped("02");            // a tick held while 02's reply was awaited
    health.skipped("02");
    health.dropped("02");            // a late reply of 02's
    health.request("01");
    health.miss("01");               // no reply: counted, not timed
    health.request("01");
    health.reply("01", true, 20);
    health.request("01");
    health.reply("01", true, 90);

    EXPECT_EQ(health.addresses(), QStringList({"01", "02"}));
    const BusHealth::Figures one = health.figures("01");
    EXPECT_EQ(one.requests, 4);
    EXPECT_EQ(one.okReplies, 3);
    EXPECT_EQ(one.refusals, 0);
    EXPECT_EQ(one.misses, 1);
    EXPECT_EQ(one.lastMs, 90);
    EXPECT_EQ(one.medianMs, 40); // of 40, 20, 90
    EXPECT_EQ(one.maxMs, 90);

    const QJsonObject two = QJsonDocument::fromJson(health.payload("02", QDateTime::fromSecsSinceEpoch(0, Qt::UTC))).object();
    EXPECT_EQ(two.value("time").toString(), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(two.value("requests").toInt(), 1);
    EXPECT_EQ(two.value("ok").toInt(), 0);
    EXPECT_EQ(two.value("refusals").toInt(), 1);
    EXPECT_EQ(two.value("misses").toInt(), 0);
    EXPECT_EQ(two.value("skipped").toInt(), 2);
    EXPECT_EQ(two.value("dropped").toInt(), 1);
    EXPECT_EQ(two.value("last_ms").toInt(), 25);
    EXPECT_EQ(two.value("median_ms").toInt(), 25);
    EXPECT_EQ(two.value("max_ms").toInt(), 25);

    health.request("03");
    health.miss("03");
    const QJsonObject three = QJsonDocument::fromJson(health.payload("03", QDateTime::currentDateTime())).object();
    EXPECT_TRUE(three.value("median_ms").isNull());
    EXPECT_TRUE(three.value("last_ms").isNull());
    EXPECT_EQ(three.value("misses").toInt(), 1);
}

TEST(BusHealth, MedianIsExactBelowOneSecondAndCloseAbove)
{
    struct Case {
        std::vector<qint64> times;
        qint64 median;
    };
    const Case cases[] = {
        {{30, 31, 31, 500, 999}, 31},
        {{5, 7}, 5},                                 // the lower of two
        {{1200, 1205, 1300}, 1206},                  // 10 ms bins above one second
        {{20000, 30000, 40000}, 40000},              // beyond the bins: reads as the maximum
        {std::vector<qint64>(100000, 45), 45},       // a long run keeps no list of times
    };
    for (const Case& c : cases) {
        BusHealth health;
        for (qint64 ms : c.times) {
            health.request("05");
            health.reply("05", true, ms);
        }
        EXPECT_EQ(health.figures("05").medianMs, c.median) << c.times.size();
    }
}

// The feed times each reply as the engine timed its exchange (here on a
// steady clock the test turns), not by a clock of its own.
TEST(BusHealthFeed, RepliesAreTimedByTheEnginesExchangeTime)
{
    ScriptedLine line;
    ReplyAssembler assembler;
    qint64 steadyMs = 0;
    MonitoringEngine engine(line, assembler, systemClock(), Regional::plain(), [&] { return steadyMs; });
    engine.setChannels({ChannelDef{"01", "Z1", "0001", "1", "100", "0", "255"}}, "set.khd");
    engine.setPollTiming(100, 500);
    MqttPublisher publisher(MqttEndpoint{});
    feedPublisher(engine, publisher);
    const qint64 waits[] = {37, 120, 5};
    for (qint64 ms : waits) {
        engine.pollTick(false);
        steadyMs += ms;
        (void)engine.receive(BuildFrame("01DRS,OK,0001"));
    }
    engine.pollTick(false);
    steadyMs += 500;
    engine.pollTick(false); // the fourth request went unanswered
    const BusHealth::Figures f = publisher.busHealth().figures("01");
    EXPECT_EQ(f.requests, 5);
    EXPECT_EQ(f.okReplies, 3);
    EXPECT_EQ(f.misses, 1);
    EXPECT_EQ(f.lastMs, 5);
    EXPECT_EQ(f.medianMs, 37);
    EXPECT_EQ(f.maxMs, 120);
}
