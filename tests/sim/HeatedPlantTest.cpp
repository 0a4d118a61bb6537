#include "sim/HeatedPlant.h"
#include "sim/SimController.h"
#include "sim/SimRegisters.h"

#include <gtest/gtest.h>

#include <algorithm>

// A furnace heats from the ambient 25.0 towards its target: it rises without
// passing the target, ends within a tenth of it, and a lower target lets it
// cool back no further than the ambient.
TEST(HeatedPlant, ApproachesTargetWithoutOvershootAndCoolsNoLowerThanAmbient)
{
    struct Case {
        double target;
        double settled;   // where the value ends
    };
    for (const Case& c : {Case{2000, 2000}, Case{600, 600}, Case{12000, 12000}, Case{100, 250}}) {
        SCOPED_TRACE(c.target);
        HeatedPlant plant(250.0);
        double previous = plant.value();
        for (qint64 t = 1000; t <= 3 * 3600 * 1000; t += 1000) {
            plant.advance(t, c.target, false);
            const double v = plant.value();
            EXPECT_GE(v, std::min(250.0, c.target) - 1e-9);
            EXPECT_LE(v, std::max(250.0, c.target) + 1e-9);
            if (c.target >= 250.0) {
                EXPECT_GE(v, previous - 1e-9) << "heating must not fall back at t=" << t;
            }
            previous = v;
        }
        EXPECT_NEAR(plant.value(), c.settled, 0.1);
    }
}

TEST(HeatedPlant, ValueDoesNotDependOnHowOftenItIsRead)
{
    HeatedPlant often(250.0), once(250.0);
    for (qint64 t = 100; t <= 90000; t += 100)
        often.advance(t, 2000, false);
    once.advance(90000, 2000, false);
    EXPECT_DOUBLE_EQ(often.value(), once.value());
    EXPECT_GT(once.value(), 500.0) << "a minute and a half of full heat moves it well up";
}

// During a tuning run the value swings around the set value (the relay's
// limit cycle) but stays in a narrow band once it has got there.
TEST(HeatedPlant, TuningRunSwingsAroundTheSetValueWithinItsBand)
{
    SimController c(1, 0, 3600 * 1000);
    const int sv = c.read(SimReg::Sv1, 0);
    for (qint64 t = 1000; t <= 1200 * 1000; t += 1000)
        (void)c.read(SimReg::Pv, t);   // heat up first
    ASSERT_TRUE(c.write(SimReg::Tune, 1, 1200 * 1000));
    int low = 32767, high = -32768;
    for (qint64 t = 1200 * 1000; t <= 1800 * 1000; t += 200) {
        const int pv = c.read(SimReg::Pv, t);
        low = std::min(low, pv);
        high = std::max(high, pv);
    }
    const double band = HeatedPlant::relayBand() + 5;
    EXPECT_GE(low, sv - band);
    EXPECT_LE(high, sv + band);
    EXPECT_GT(high - low, 10) << "the relay makes the value swing";
}
