#include "settings/IntervalTimer.h"
#include "settings/Regional.h"

#include <gtest/gtest.h>

TEST(IntervalTimer, ZeroOrNegativeIntervalNeverFires)
{
    IntervalTimer timer(nullptr, 0);
    timer.setEnabled(true);
    EXPECT_TRUE(timer.isEnabled());
    EXPECT_FALSE(timer.isFiring());
    timer.setInterval(-5);
    EXPECT_FALSE(timer.isFiring());
    timer.setInterval(200);
    EXPECT_TRUE(timer.isFiring());
    timer.setEnabled(false);
    EXPECT_FALSE(timer.isFiring());
}

TEST(Regional, SeparatorsComeFromTheLocale)
{
    const Regional german = Regional::fromLocale(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(german.thousands, QChar('.'));
    EXPECT_EQ(german.decimal, QChar(','));
    EXPECT_EQ(german.dateSeparator, QChar('.'));
    const Regional korean = Regional::fromLocale(QLocale(QLocale::Korean, QLocale::SouthKorea));
    EXPECT_EQ(korean.thousands, QChar(','));
    EXPECT_EQ(korean.shortMonths.size(), 12);
    const Regional us = Regional::fromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(us.dateSeparator, QChar('/'));
    EXPECT_EQ(us.shortMonths.first(), "Jan");
}
