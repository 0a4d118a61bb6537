#include "monitoring/ChannelValue.h"
#include "monitoring/ValueFormat.h"

#include <gtest/gtest.h>
#include <cmath>

namespace {

struct FormatCase {
    double value;
    ValueFormat format;
    const char* text;
};

Regional germanStyle()
{
    Regional r = Regional::plain();
    r.thousands = QLatin1Char('.');
    r.decimal = QLatin1Char(',');
    return r;
}

} // namespace

TEST(ValueFormat, FormatsGroupDigitsRoundAndKeepDecimals)
{
    const FormatCase cases[] = {
        {1234, ValueFormat::Whole, "1,234"},
        {-5, ValueFormat::Whole, "-5"},
        {0, ValueFormat::Whole, "0"},
        {-32768, ValueFormat::Whole, "-32,768"},
        {1234567, ValueFormat::Whole, "1,234,567"},
        {999.5, ValueFormat::Whole, "1,000"},
        {-0.4, ValueFormat::Whole, "0"},
        {123.4, ValueFormat::Decimal, "123.4"},
        {-1, ValueFormat::Decimal, "-1.0"},
        {1234.5, ValueFormat::Decimal, "1,234.5"},
        {0.1234, ValueFormat::Decimal, "0.123"},
        {327.67, ValueFormat::Decimal, "327.67"},
        {1.2346, ValueFormat::Decimal, "1.235"},
        {1.2345, ValueFormat::Decimal, "1.235"},   // a tie goes away from zero
        {-1.2345, ValueFormat::Decimal, "-1.235"},
        {999.9996, ValueFormat::Decimal, "1,000.0"},
        {-0.0001, ValueFormat::Decimal, "0.0"},
        {3276.7, ValueFormat::Decimal, "3,276.7"},
        {42, ValueFormat::Plain, "42"},
        {0, ValueFormat::Plain, "0"},
        {99, ValueFormat::Plain, "99"},
        {1.5, ValueFormat::Plain, "1.5"},
        {1234.1239, ValueFormat::Plain, "1,234.124"},
    };
    const Regional plain = Regional::plain();
    for (const auto& c : cases)
        EXPECT_EQ(formatValue(c.value, c.format, plain), QString::fromLatin1(c.text)) << c.value;
}

TEST(ValueFormat, UsesTheRegionalSeparators)
{
    const Regional r = germanStyle();
    EXPECT_EQ(formatValue(1234.5, ValueFormat::Decimal, r), "1.234,5");
    EXPECT_EQ(formatValue(-32768, ValueFormat::Whole, r), "-32.768");
    Regional blank = Regional::plain();
    blank.thousands = QChar(0x00A0);
    EXPECT_EQ(formatValue(12345, ValueFormat::Whole, blank), QString("12") + QChar(0x00A0) + "345");
}

namespace {

struct WordCase {
    const char* word;
    const char* dot;
    const char* max;
    const char* min;
    const char* cell;         // nullptr: the word is not decoded
    double percent;           // NAN: no chart point
};

} // namespace

TEST(ChannelValue, DecodesTheWordScalesByDotAndPlotsPercentOfRange)
{
    const WordCase cases[] = {
        {"0064", "1", "100", "0", "10.0", 10.0},
        {"04D2", "1", "1200", "-100", "123.4", 123.4 / 1300 * 100},
        {"04D2", "0", "1200", "-100", "1,234", 1234.0 / 1300 * 100},
        {"FFF6", "1", "1200", "-100", "-1.0", -1.0 / 1300 * 100},
        {"7FFF", "2", "100", "0", "327.67", 327.67},
        {"8000", "0", "100", "0", "-32,768", -32768.0},
        {"303A", "4", "100", "0", "1.235", 1.2346},
        {"0064", "-2", "100", "0", "100", 100.0},       // a negative Dot divides by 1
        {"0064", "1", "50", "-50", "10.0", 10.0},
        {"0064", "1", "0", "0", "10.0", NAN},           // no range, no point
        {"0064", "1", "100", "-100", "10.0", 5.0},
        {"0064", "1", "-100", "100", "10.0", NAN},      // -100 + |100| is 0 too
        {"04d2", "1", "100", "0", nullptr, 0},
        {"00G0", "1", "100", "0", nullptr, 0},
        {"", "0", "100", "0", "0", 0.0},                // a missing word reads as 0
    };
    const Regional plain = Regional::plain();
    for (const auto& c : cases) {
        const ChannelDef ch{"01", "Zone", "0001", c.dot, c.max, c.min, "255"};
        const auto v = decodeChannelWord(QString::fromLatin1(c.word), ch, plain);
        SCOPED_TRACE(std::string(c.word) + " Dot " + c.dot + " Max " + c.max + " Min " + c.min);
        if (!c.cell) {
            EXPECT_FALSE(v.has_value());
            continue;
        }
        ASSERT_TRUE(v.has_value());
        EXPECT_EQ(v->cellText, QString::fromLatin1(c.cell));
        if (std::isnan(c.percent))
            EXPECT_FALSE(v->percent.has_value());
        else {
            ASSERT_TRUE(v->percent.has_value());
            EXPECT_NEAR(*v->percent, c.percent, 1e-9);
        }
    }
}
