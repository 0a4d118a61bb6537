// The record chart over a month of 1 s samples: a single-sample spike is in
// the whole-month picture.
#include "review/RecordChart.h"
#include "tests/support/ScriptedDialogs.h"
#include "widgets/AppContext.h"

#include <QImage>
#include <cstdio>
#include <gtest/gtest.h>
#include <qcustomplot.h>

TEST(RecordChart, ASingleSampleSpikeInAMonthIsInTheWholeMonthPicture)
{
    constexpr qint64 kLines = 30LL * 86400;
    constexpr qint64 kSpikeRow = 1234567;
    QByteArray bytes;
    bytes.reserve(kLines * 23);
    QDate day(2024, 1, 1);
    char line[40];
    for (qint64 i = 0; i < kLines; ++i) {
        const int s = int(i % 86400);
        if (i > 0 && s == 0)
            day = day.addDays(1);
        const int n = std::snprintf(line, sizeof line, "%04d%02d%02d/%02d%02d%02d;%s;\r\n", day.year(), day.month(),
                                    day.day(), s / 3600, s / 60 % 60, s % 60,
                                    i == kSpikeRow ? "950.0" : (i % 3 ? "50.5" : "49.5"));
        bytes.append(line, n);
    }
    RowChunk chunk = scanSampleLines(bytes, 0, bytes.size());
    RecordSeries series;
    series.reset(1, 1.0, Regional::plain());
    series.append(chunk);
    SampleTable table;
    table.setChannels({"Zone 1"}, Regional::plain());
    table.append(std::move(chunk));
    ASSERT_EQ(series.rows(), kLines);

    ScriptedDialogs dialogs;
    AppContext context{dialogs};
    RecordChart chart(context);
    chart.resize(1000, 500);
    chart.show();
    chart.setRecord(series, table, {{"Zone 1", QColor(255, 0, 0), 100.0 / 1300.0}}, "month.kmr");
    chart.replotNow();
    EXPECT_DOUBLE_EQ(chart.timeRange().first, series.key(0));
    EXPECT_DOUBLE_EQ(chart.timeRange().second, series.key(kLines - 1));

    // The drawn data: a pair of points per pixel column, the spike among them.
    const std::vector<ChartPoint> drawn = chart.drawnPoints(0);
    EXPECT_LE(drawn.size(), size_t(2 * chart.plot()->axisRect()->width() + 8));
    EXPECT_EQ(std::count_if(drawn.begin(), drawn.end(), [](const ChartPoint& p) { return p.value == 950; }), 1);

    // The picture: red pixels well above the band of ordinary values.
    const QImage picture = chart.plot()->toPixmap().toImage();
    const int bandTop = int(chart.plot()->yAxis->coordToPixel(60));
    const int spikeTop = int(chart.plot()->yAxis->coordToPixel(900));
    int red = 0;
    for (int y = spikeTop - 5; y < bandTop - 10; ++y)
        for (int x = chart.plot()->axisRect()->left(); x < chart.plot()->axisRect()->right(); ++x)
            red += picture.pixelColor(x, y) == QColor(255, 0, 0);
    EXPECT_GE(red, bandTop - 10 - spikeTop) << "the spike's column is drawn up to its top";
}
