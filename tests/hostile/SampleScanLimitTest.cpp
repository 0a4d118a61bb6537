// Scanning sample lines for a set of many channels: memory follows the lines
// that carry samples, not the line ends of the file or the channels.
#include "review/SampleTable.h"

#include <gtest/gtest.h>

TEST(SampleScanLimit, LineEndsOnlyWithAHundredThousandChannelsNeedNoMarksUpFront)
{
    // Once this reserved lines × channels marks: 40 GB for a 100 kB file.
    const QByteArray bytes(100000, '\n');
    const RowChunk chunk = scanSampleLines(bytes, 0, bytes.size());
    EXPECT_EQ(chunk.rows(), 0);
    EXPECT_EQ(chunk.starts.capacity(), 0u);
}

TEST(SampleScanLimit, SampleLinesAmongEmptyOnesKeepTheirFields)
{
    const QByteArray bytes = QByteArray(5000, '\n') + "20240105/143022;1;2;\r\n" + QByteArray(5000, '\n')
        + "20240105/143023;3;\r\n";
    const RowChunk chunk = scanSampleLines(bytes, 0, bytes.size());
    ASSERT_EQ(chunk.rows(), 2);
    EXPECT_EQ(chunk.field(0, 0), "20240105/143022");
    EXPECT_EQ(chunk.field(0, 2), "2");
    EXPECT_EQ(chunk.field(1, 1), "3");
    EXPECT_EQ(chunk.field(1, 2), "");
    EXPECT_EQ(chunk.field(1, 3).data(), nullptr); // the line has no third field
}
