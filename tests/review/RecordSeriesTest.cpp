// The record chart's data: points against the record lines, gaps, the
// statistics of a range, the reduction per pixel column and the CSV bytes.
#include "review/RecordCsv.h"
#include "review/RecordSeries.h"

#include <QBuffer>
#include <cmath>
#include <gtest/gtest.h>

namespace {

const double kT0 = QDateTime(QDate(2024, 1, 5), QTime(14, 30, 23)).toSecsSinceEpoch();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

RowChunk chunkOf(const QByteArray& lines)
{
    return scanSampleLines(lines, 0, lines.size());
}

RecordSeries seriesOf(const QByteArray& lines, int channels, double interval = 1.0,
                      const Regional& regional = Regional::plain())
{
    RecordSeries series;
    series.reset(channels, interval, regional);
    series.append(chunkOf(lines));
    return series;
}

// Points compared with NaN equal to NaN (a NaN point is a break in the line).
void expectPoints(const std::vector<ChartPoint>& got, const std::vector<ChartPoint>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_DOUBLE_EQ(got[i].key, want[i].key) << i;
        if (std::isnan(want[i].value))
            EXPECT_TRUE(std::isnan(got[i].value)) << i << ": " << got[i].value;
        else
            EXPECT_FLOAT_EQ(float(got[i].value), float(want[i].value)) << i; // values are kept as float
    }
}

std::vector<ChartPoint> wholeTrace(const RecordSeries& s, int channel, int columns = 1000)
{
    return s.tracePoints(channel, s.pixelColumns(s.key(0), s.key(s.rows() - 1), columns));
}

} // namespace

TEST(RecordSeries, FieldsReadAsTheTableShowsThemAndBadOnesAreGaps)
{
    Regional comma = Regional::plain();
    comma.thousands = QLatin1Char('.');
    comma.decimal = QLatin1Char(',');
    const struct {
        const char* field;
        const Regional& regional;
        std::optional<double> value;
    } cases[] = {
        {"123.4", Regional::plain(), 123.4}, {"1,205", Regional::plain(), 1205}, {"-1.0", Regional::plain(), -1},
        {"1,234.5", Regional::plain(), 1234.5}, {"0.123", Regional::plain(), 0.123}, {"", Regional::plain(), std::nullopt},
        {"1.234,5", comma, 1234.5}, {"-12,5", comma, -12.5}, {"1e3", Regional::plain(), 1000},
        {"abc", Regional::plain(), std::nullopt}, {"12,34", Regional::plain(), std::nullopt},
        {"1.2.3", Regional::plain(), std::nullopt}, {"--1", Regional::plain(), std::nullopt},
        {"1,234.5", comma, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(readRecordValue(c.field, c.regional), c.value) << c.field;

    const struct {
        const char* field;
        bool valid;
    } stamps[] = {{"20240105/143023", true}, {"20240105-143023", true}, {"20240105.235959", true},
                  {"2024010/1430230", false}, {"20241305/143023", false}, {"20240105/246000", false},
                  {"202401051430230", false}, {"20240105/14302", false}};
    for (const auto& s : stamps)
        EXPECT_EQ(readRecordStamp(s.field).has_value(), s.valid) << s.field;
    EXPECT_EQ(readRecordStamp("20240105/143023"), QDateTime(QDate(2024, 1, 5), QTime(14, 30, 23)));
}

TEST(RecordSeries, EachTraceHoldsTheRecordLinesPoints)
{
    const RecordSeries s = seriesOf("20240105/143023;123.4;1,205;\r\n"
                                    "20240105/143024;-1.0;1,234.5;\r\n"
                                    "20240105/143025;;abc;\r\n"
                                    "20240105/143026;0.123\r\n",
                                    2);
    ASSERT_EQ(s.rows(), 4);
    EXPECT_EQ(s.badValues(), 1);
    EXPECT_EQ(s.emptyValues(), 2);
    EXPECT_EQ(s.badStamps(), 0);
    // Empty and missing fields read "0" in the table, but no value was
    // recorded: gaps, like a field that is no number (not dips to 0).
    expectPoints(wholeTrace(s, 0), {{kT0, 123.4}, {kT0 + 1, -1}, {kT0 + 2, kNaN}, {kT0 + 3, 0.123}});
    expectPoints(wholeTrace(s, 1), {{kT0, 1205}, {kT0 + 1, 1234.5}, {kT0 + 2, kNaN}, {kT0 + 3, kNaN}});
}

TEST(RecordSeries, StampsFurtherApartThanTwoIntervalsLeaveAGap)
{
    const QByteArray lines = "20240105/143023;1;\r\n20240105/143025;2;\r\n20240105/143028;3;\r\n"
                             "20240105/143038;4;\r\nnot a time;5;\r\n20240105/143039;6;\r\n"
                             "20240105/143030;7;\r\n";
    // 1 s sampling: 2 s apart is a late tick, 3 s is a gap (so is 10 s).
    const RecordSeries s = seriesOf(lines, 1, 1.0);
    EXPECT_EQ(s.badStamps(), 1);
    expectPoints(wholeTrace(s, 0), {{kT0, 1},
                                    {kT0 + 2, 2},
                                    {kT0 + 3.5, kNaN},
                                    {kT0 + 5, 3},
                                    {kT0 + 10, kNaN},
                                    {kT0 + 15, 4},
                                    {kT0 + 15, kNaN}, // the unreadable time: a row without a value
                                    {kT0 + 16, 6},
                                    {kT0 + 16, 7}}); // a time going back is drawn at the time reached
    // 5 s sampling: only the 10 s step is a gap.
    const RecordSeries slow = seriesOf(lines.left(lines.indexOf("not")), 1, 5.0);
    EXPECT_EQ(slow.gapSeconds(), 10.0);
    expectPoints(wholeTrace(slow, 0), {{kT0, 1}, {kT0 + 2, 2}, {kT0 + 5, 3}, {kT0 + 15, 4}});
}

TEST(RecordSeries, StatisticsOfARangeSkipGapsAndCrossBlocks)
{
    QByteArray lines;
    std::vector<double> values;
    const QDateTime t0 = QDateTime::fromSecsSinceEpoch(qint64(kT0));
    for (int i = 0; i < 1000; ++i) {
        const double v = std::round(std::sin(i * 0.37) * 5000) / 10;
        values.push_back(i % 97 == 5 ? kNaN : v);
        lines += t0.addSecs(i).toString("yyyyMMdd/HHmmss").toLatin1() + ';'
            + (i % 97 == 5 ? QByteArray("x") : QByteArray::number(v)) + ";\r\n";
    }
    const RecordSeries s = seriesOf(lines, 1);
    for (const auto& [from, to] : {std::pair(37, 901), std::pair(0, 999), std::pair(64, 127), std::pair(5, 5),
                                   std::pair(130, 131)}) {
        const auto [first, end] = s.rowsIn(kT0 + from, kT0 + to);
        ASSERT_EQ(first, from);
        ASSERT_EQ(end, to + 1);
        double lo = INFINITY, hi = -INFINITY, sum = 0;
        qint64 count = 0;
        for (int i = from; i <= to; ++i)
            if (!std::isnan(values[size_t(i)])) {
                lo = std::min(lo, values[size_t(i)]);
                hi = std::max(hi, values[size_t(i)]);
                sum += values[size_t(i)];
                ++count;
            }
        const RangeStats st = s.stats(0, first, end);
        EXPECT_EQ(st.count, count) << from;
        if (count == 0) {
            EXPECT_TRUE(std::isnan(st.min) && std::isnan(st.mean) && std::isnan(st.max));
            continue;
        }
        EXPECT_FLOAT_EQ(st.min, lo) << from;
        EXPECT_FLOAT_EQ(st.max, hi) << from;
        EXPECT_NEAR(st.mean, sum / double(count), 1e-3) << from;
    }
    EXPECT_EQ(s.nearestRow(kT0 - 50), 0);
    EXPECT_EQ(s.nearestRow(kT0 + 10.4), 10);
    EXPECT_EQ(s.nearestRow(kT0 + 10.6), 11);
    EXPECT_EQ(s.nearestRow(kT0 + 5000), 999);
}

TEST(RecordSeries, EachPixelColumnKeepsItsMinimumAndMaximum)
{
    // 10,000 samples of 1 s at 100 columns: 100 rows per column; one spike.
    QByteArray lines;
    const QDateTime t0 = QDateTime::fromSecsSinceEpoch(qint64(kT0));
    for (int i = 0; i < 10000; ++i)
        lines += t0.addSecs(i).toString("yyyyMMdd/HHmmss").toLatin1() + ';'
            + QByteArray(i == 4321 ? "900" : i % 2 ? "11" : "10") + ";\r\n";
    const RecordSeries s = seriesOf(lines, 1);
    const std::vector<qint64> columns = s.pixelColumns(kT0, kT0 + 9999, 100);
    EXPECT_LE(columns.size(), 103u);
    EXPECT_EQ(columns.front(), 0);
    EXPECT_EQ(columns.back(), 10000);
    const std::vector<ChartPoint> points = s.tracePoints(0, columns);
    EXPECT_LE(points.size(), 2 * columns.size());
    int spikes = 0;
    for (const ChartPoint& p : points) {
        EXPECT_TRUE(p.value == 10 || p.value == 11 || p.value == 900) << p.value;
        spikes += p.value == 900;
    }
    EXPECT_EQ(spikes, 1);
    // "%": the values times the channel's scale.
    const std::vector<ChartPoint> scaled = s.tracePoints(0, columns, 100.0 / 1300.0);
    EXPECT_DOUBLE_EQ(std::max_element(scaled.begin(), scaled.end(), [](auto a, auto b) { return a.value < b.value; })
                         ->value,
                     900 * 100.0 / 1300.0);
}

TEST(RecordCsv, BytesAreUtf8IsoTimesAndPlainNumbers)
{
    SampleTable table;
    table.setChannels({QStringLiteral("1구역"), QStringLiteral("압력, \"bar\"")}, Regional::plain());
    table.append(chunkOf("20240105/143023;123.4;1,205;\r\n20240105/143024;-1.0;1,234.5;\r\n"
                         "20240105/143025;;abc;\r\nbroken;0.123\r\n"));
    QBuffer all;
    all.open(QIODevice::WriteOnly);
    ASSERT_TRUE(writeRecordCsv(all, table, 0, table.sampleCount(), Regional::plain()));
    EXPECT_EQ(all.data(), QByteArray("\xEF\xBB\xBF") + QStringLiteral("Date/Time,1구역,\"압력, \"\"bar\"\"\"\r\n").toUtf8()
                              + "2024-01-05T14:30:23,123.4,1205\r\n"
                                "2024-01-05T14:30:24,-1,1234.5\r\n"
                                "2024-01-05T14:30:25,,\r\n"
                                "broken,0.123,\r\n"); // an empty or missing field is no 0; the stamp as written

    Regional comma = Regional::plain();
    comma.thousands = QLatin1Char('.');
    comma.decimal = QLatin1Char(',');
    SampleTable german;
    german.setChannels({"A"}, comma);
    german.append(chunkOf("20240105-143023;1.234,5;\r\n20240105-143024;-0,25;\r\n20240105-143025;7;\r\n"));
    QBuffer range;
    range.open(QIODevice::WriteOnly);
    ASSERT_TRUE(writeRecordCsv(range, german, 1, 2, comma));
    EXPECT_EQ(range.data(), "\xEF\xBB\xBF" "Date/Time,A\r\n2024-01-05T14:30:24,-0.25\r\n");
}

TEST(RecordSeries, RowsAroundALineOf64KiBKeepTheirFields)
{
    const QByteArray lines = "20240105/143023;1;2;\r\n20240105/143024;" + QByteArray(70000, '7')
        + ";3;\r\n20240105/143025;4;;\r\n";
    const RowChunk chunk = chunkOf(lines);
    ASSERT_EQ(chunk.rows(), 3);
    EXPECT_EQ(chunk.field(0, 2), "2");
    EXPECT_EQ(chunk.field(1, 1).size(), 70000);
    EXPECT_EQ(chunk.field(1, 2), "3");
    EXPECT_EQ(chunk.field(2, 1), "4");
    EXPECT_EQ(chunk.field(2, 2), "");
}

TEST(RecordCsv, ValueTextsBecomePlainNumbersWithTheSameDigits)
{
    Regional comma = Regional::plain();
    comma.thousands = QLatin1Char('.');
    comma.decimal = QLatin1Char(',');
    const struct {
        const char* field;
        const Regional& regional;
        const char* csv; // nullptr: not a plain value text (the general reading decides)
    } cases[] = {
        {"1,234.50", Regional::plain(), "1234.5"}, {"-1.0", Regional::plain(), "-1"},
        {"-0.0", Regional::plain(), "0"},          {"007", Regional::plain(), "7"},
        {"0.000", Regional::plain(), "0"},         {"0.0625", Regional::plain(), "0.0625"},
        {"+12", Regional::plain(), "12"},          {"100,000", Regional::plain(), "100000"},
        {"1.234,5", comma, "1234.5"},              {"-0,25", comma, "-0.25"},
        {"1e3", Regional::plain(), nullptr},       {"12,34", Regional::plain(), nullptr},
        {"", Regional::plain(), nullptr},          {"1234567890123456789", Regional::plain(), nullptr},
    };
    for (const auto& c : cases) {
        QByteArray out = "x";
        EXPECT_EQ(appendPlainNumber(out, c.field, c.regional), c.csv != nullptr) << c.field;
        EXPECT_EQ(out, QByteArray("x") + (c.csv ? c.csv : "")) << c.field;
    }
}
